#pragma once
// The SCT path as one call: G-code lines -> SCT list -> TEST.SCT text, script lines and PVT
// files, all as data. Writing them to disk is a separate call (temporary file + rename).
//
// Thread: a conversion may run on a worker; it reads only its arguments and reports through
// the observer (status "Line i/n", stop flag checked at every line and element), from the
// thread that called it. The PVT files of a long job are made on worker threads of its own.

#include "gcodeline.h"
#include "gcodelines.h"
#include "machineconfig.h"
#include "observer.h"
#include "scttraject.h"

#include <functional>
#include <string>
#include <vector>

namespace mvx::sct {

struct BuildResult {
    gcode::Status Error;  // first error, with its 1-based line
    bool Stopped = false;  // the observer asked to stop
    gcode::PathExtents Extents;
    bool RelativeAtEnd = false;  // G91 still in force after the last line
    int LineGroup = 1;           // raised by G53, G90, G91 and M3..M9
};

// Appends one or two elements per line to `list` (G-code order) and chains the positions from
// the origin. Errors: those of the line parser, and kErrorIncoherentLine for an arc whose end
// misses its target by more than 0.001.
BuildResult GCodeToElements(const gcode::LineList& lines, const MachineConfig& config, Ttraject& list,
                            ConversionObserver* observer = nullptr);

struct SctConversion {
    gcode::Status Error;
    bool Stopped = false;
    Ttraject List;
    std::string SctText;               // TEST.SCT, CR LF line ends
    std::string Script;                // header, body, footer; every line followed by "\n"
    std::size_t BodyBegin = 0;         // 0-based index of the first body line of Script
    std::size_t BodyEnd = 0;           // one past the last body line
    std::vector<PvtFile> PvtFiles;     // in file-number order
    gcode::PathExtents Extents;
    bool RelativeAtEnd = false;
};

// Build, SCT text and generation.
SctConversion ConvertSct(const gcode::LineList& lines, const MachineConfig& config,
                         ConversionObserver* observer = nullptr);

// Generation only, from a list already built (a later Create on the same list): fills Script,
// BodyBegin, BodyEnd and PvtFiles of `out`. False when stopped.
bool GenerateSct(const Ttraject& list, const MachineConfig& config, bool relativeMode, SctConversion& out,
                 ConversionObserver* observer = nullptr);
// The same, handing each PVT file to `fileSink` as soon as it is made: out.PvtFiles then keeps
// the names only (empty Text). The sink is called from the PVT workers, for several files at
// once: it must be thread-safe. False also when the sink refuses a file.
bool GenerateSct(const Ttraject& list, const MachineConfig& config, bool relativeMode, SctConversion& out,
                 ConversionObserver* observer, std::function<bool(const PvtFile&)> fileSink);

// 3D drawing of the list from `start` (the position last read): a start and an end marker per
// motion element, one marker per zero-length element, and a polyline per motion element
// (two points for a straight move, max(4, round(|degrees| / 2)) points for an arc).
struct DrawMarker {
    Vec3 At{};
    bool Current = false;  // the list's current element
};
struct DrawPolyline {
    std::vector<Vec3> Points;
    bool Working = false;
};
struct SctDrawing {
    std::vector<DrawMarker> Markers;
    std::vector<DrawPolyline> Paths;
};
SctDrawing DrawAll(const Ttraject& list, const Vec3& start);

// Writes `text` to `path` through a temporary file in the same folder, then renames it over
// the old file, so a failed write never leaves a truncated file.
gcode::Status WriteTextFile(const std::string& path, const std::string& text);

// TEST.SCT into `gcodeDir`, every PVT file and, when `writeScript`, "GCode_Converted.TCL"
// into `outputDir`. An empty list writes an empty TEST.SCT.
gcode::Status WriteSctFiles(const SctConversion& conversion, const std::string& gcodeDir, const std::string& outputDir,
                            bool writeScript);

// ConvertSct and WriteSctFiles in one pass, for large jobs: the same files with the same bytes,
// in the same order (TEST.SCT, PVT files, script), but each PVT file is written as soon as its
// run is complete and only its name stays in `out.PvtFiles` (empty Text). Conversion errors
// and a stop come back in `out` as from ConvertSct; a build that fails or stops writes nothing,
// a stopped generation keeps the PVT files written so far and writes no script. Returns the
// first write failure, which ends the generation (out.Stopped).
gcode::Status ConvertAndWriteSct(const gcode::LineList& lines, const MachineConfig& config,
                                 const std::string& gcodeDir, const std::string& outputDir, bool writeScript,
                                 SctConversion& out, ConversionObserver* observer = nullptr);

inline constexpr int kErrorWrite = 203;  // a file could not be written

}  // namespace mvx::sct

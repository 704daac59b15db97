#pragma once
// G-code to controller script, block by block (the script path). Input: the normalised G-code
// lines, the machine configuration and, optionally, the window's observer and the controller
// link for the direct mode. Output: data only (script lines, PVT files, line table, drawing);
// WriteConversionFiles puts them on disk.
//
// Order of operations per line:
//   1. the line's table record starts as (0, "Unknown"); the line list shows the line and the
//      status "Line i/n";
//   2. upper case, comments and blanks removed, words read (parameters evaluated);
//   3. the first word decides: F speed, G0/G1/G2/G3/G28 moves, G4 dwell, G53/G90/G91 modes,
//      M codes, bare X/Y/Z coordinates; anything else is recorded as not recognized.
// At the end (last line, STOP or Abort) the held working move and the open PVT run are written.
//
// Errors (the conversion stops at once, nothing is to be saved): a word that cannot be read
// (gcode::kErrorParameter and the parser's numbers), an arc whose I/J do not lead to its end
// point (gcode::kErrorIncoherentLine, "stringincoherenceline" + line number).

#include "gcodeline.h"
#include "gcodelines.h"
#include "machineconfig.h"
#include "observer.h"
#include "tclelements.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace mvx::tclpath {

struct TclConversionResult {
    gcode::Status Error;     // Number 0: success
    bool Stopped = false;    // STOP or Abort ended it early (what was done is kept)
    std::string Script;                    // header, body, footer, every line followed by "\n";
                                           // empty in the direct mode and when it went to a sink
    std::size_t ScriptBytes = 0;           // the script's size, wherever it went
    std::size_t BodyStart = 0;             // first body line (0-based)
    std::size_t BodyEnd = 0;               // one past the last body line
    std::vector<PvtFile> PvtFiles;         // in writing order
    std::vector<LineRecord> LineTable;     // one record per G-code line
    std::vector<PathSegment> Drawing;      // the job path of the 3D view (unless only drawn)
    gcode::PathExtents Extents;
    int PvtFileCount = 0;  // PVT files written on the script path
};

inline constexpr const char* kScriptFileName = "GCode_Converted.TCL";

// Thread: may run on a worker; the observer and the executor are called on that thread, the PVT
// files of a long job are made on worker threads of its own.
TclConversionResult GCodeToTCL(const gcode::LineList& lines, const MachineConfig& config,
                               ConversionObserver* observer = nullptr, DirectExecutor* executor = nullptr);
// The same, handing each PVT file to `fileSink` as soon as it is made: PvtFiles then keeps the
// names only (empty Text). On the script path the sink is called from the PVT workers, for
// several files at once, so it must be thread-safe; in the direct mode from the calling thread.
// A refusal ends the conversion (Stopped).
TclConversionResult GCodeToTCL(const gcode::LineList& lines, const MachineConfig& config,
                               ConversionObserver* observer, DirectExecutor* executor,
                               std::function<bool(const PvtFile&)> fileSink);

// How a long job's outputs leave the conversion instead of staying in its result.
struct TclConversionOptions {
    // Each PVT file as soon as it is made (as in the overload above).
    std::function<bool(const PvtFile&)> FileSink;
    // The script's text in pieces of about ScriptChunk bytes as it is made, in order, the
    // footer last; Script then stays empty. A conversion that fails (Error) stops handing over:
    // what the sink got is then no script. Called on the converting thread.
    std::function<void(std::string_view)> ScriptSink;
    std::size_t ScriptChunk = std::size_t{4} << 20;
    // False: the pieces of the job path only go to the observer (DrawSegment), Drawing stays
    // empty.
    bool KeepDrawing = true;
};
TclConversionResult GCodeToTCL(const gcode::LineList& lines, const MachineConfig& config,
                               ConversionObserver* observer, DirectExecutor* executor, TclConversionOptions options);

// "Execute a line": one G-code line run on the controller at once, whatever the mode, from the
// position last read (config.CurrentPosition) and in absolute coordinates, with the configured
// speeds; G40..G44 are positioning moves here. A bare X/Y/Z line moves like the last move
// executed, which `lastMoveWorking` carries from one line to the next. A PVT run the line makes
// (an arc) is closed into TRJ0.PVT and executed. Returns the parse or arc error; nothing is
// executed then. Thread: as GCodeToTCL.
gcode::Status ExecuteGCodeLine(const std::string& line, const MachineConfig& config, DirectExecutor& executor,
                               bool& lastMoveWorking, ConversionObserver* observer = nullptr);

struct WriteOutcome {
    bool Ok = true;
    std::string Error;  // the file that failed and why
};

// Writes the script (when it has lines) and every PVT file into `dir`. Each file goes to a
// temporary name first and replaces the old one only once complete.
WriteOutcome WriteConversionFiles(const TclConversionResult& result, const std::string& dir);

// One file, the same way.
WriteOutcome WriteFileReplacing(const std::string& path, const std::string& text);

// GCodeToTCL and WriteConversionFiles in one pass, for large jobs: the same files with the same
// bytes, but each PVT file is written to `dir` as soon as it is made and only its name
// stays in the result (empty Text); the script is written as it is made and replaces the old
// one once the conversion is over (Script stays empty, Drawing too). The first failed write
// ends the conversion (Stopped) and is reported in `written`; no script is then written.
TclConversionResult GCodeToTCLWriting(const gcode::LineList& lines, const MachineConfig& config,
                                      const std::string& dir, WriteOutcome& written,
                                      ConversionObserver* observer = nullptr, DirectExecutor* executor = nullptr);

}  // namespace mvx::tclpath

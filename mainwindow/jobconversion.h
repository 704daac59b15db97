#pragma once
// One conversion of the job road as plain data: the worker turns a snapshot of the line list
// and of the configuration into finished texts, which the window then shows in one go.
//
// Thread: ConvertJob runs on a worker thread; it reads only its arguments and reports through
// the observer (which must be thread-safe).

#include "translator/gcodelines.h"
#include "translator/machineconfig.h"
#include "translator/observer.h"
#include "translator/tclelements.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mvx {

namespace sct {
class Ttraject;
}

struct JobConversionInput {
    std::shared_ptr<const gcode::LineList> Lines;
    MachineConfig Config;
    int Mode = 1;  // 1 SCT, 2 TCL, 3 direct
    // SCT mode: the list built by an earlier conversion, reused unless `RebuildSct`.
    std::shared_ptr<sct::Ttraject> SctList;
    bool RebuildSct = true;
    std::string GCodeDir;  // with a trailing "/": "TMP.GCODE" and "TEST.SCT" go there
    // With a trailing "/": the PVT files are written there (their texts are then dropped from
    // the output, which keeps only their names). Empty: nothing written, texts kept.
    std::string OutputDir;
    // Non-empty: the finished script is written there (a conversion that failed, stopped or
    // could not write a PVT file writes none).
    std::string ScriptPath;
    DirectExecutor* Executor = nullptr;  // direct mode only
    // False: the job path's pieces only go to the observer (ConversionObserver::DrawSegment),
    // which draws them as they come; Drawing stays empty.
    bool KeepDrawing = true;
    // TCL path: called each time a PVT run is closed into its file, from the thread that wrote
    // the file (the translator's file workers too): it must be thread-safe.
    std::function<void()> PvtRunClosed;
};

struct JobConversionOutput {
    bool Ok = false;
    bool Stopped = false;
    bool SctFailed = false;  // the SCT list could not be built (nothing else was done)
    std::string Error;       // text for the user when not Ok
    int IncoherentLine = -1;  // 0-based line of an arc that misses its end (the conversion stopped there)
    // The TCL view's text: the first ScriptFileBytes bytes in ScriptFile (the written script, or
    // a temporary file to be removed once read), the rest in ScriptText. A long script is
    // written as it is made, so it is never held whole.
    std::string ScriptText;
    std::string ScriptFile;
    std::size_t ScriptFileBytes = 0;
    bool ScriptFileTemporary = false;
    std::size_t ScriptBytes() const noexcept { return ScriptFileBytes + ScriptText.size(); }
    std::vector<tclpath::PvtFile> PvtFiles;
    std::string WriteError;  // a PVT file that could not be written
    bool ScriptWritten = false;     // the script is in `ScriptPath`
    std::string ScriptWriteError;   // it could not be written there
    int PvtFileCount = 0;
    std::string SctText;  // SCT mode: the SCT view
    std::shared_ptr<sct::Ttraject> SctList;
    std::vector<tclpath::LineRecord> LineTable;
    std::vector<PathSegment> Drawing;
    bool RelativeAtEnd = false;  // G91 still in force at the end
};

JobConversionOutput ConvertJob(const JobConversionInput& in, ConversionObserver& observer);

// The SCT list alone ("Dessiner  SCT"): the lines saved as "TMP.GCODE", the list built from them
// and its text saved as "TEST.SCT" in `in.GCodeDir` (an empty list leaves "TEST.SCT" as it
// was). Fills Ok, Stopped, SctFailed, Error, SctText, SctList and RelativeAtEnd.
JobConversionOutput BuildSctJob(const JobConversionInput& in, ConversionObserver& observer);

// True when the last of G53 / G90 / G91 among the lines is G91.
bool RelativeModeAtEnd(const gcode::LineList& lines);

}  // namespace mvx

#include "jobconversion.h"

#include "tfmain_util.h"

#include "core/fileutil.h"
#include "translator/filewrite.h"
#include "translator/numtext.h"
#include "translator/sctconvert.h"
#include "translator/scttraject.h"
#include "translator/tclconvert.h"
#include "translator/tclscript.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <numbers>
#include <string_view>
#include <utility>

namespace mvx {

namespace {

std::string statusText(const gcode::Status& st)
{
    std::string t = st.Text;
    if (st.Line > 0 && t.find(num::integer(st.Line)) == std::string::npos) t += " " + num::integer(st.Line);
    return t;
}

int incoherentLine(const gcode::Status& st)
{
    return st.Number == gcode::kErrorIncoherentLine && st.Line > 0 ? st.Line - 1 : -1;
}

// The SCT list from the G-code lines, starting at the origin. Returns the error text, empty
// on success.
std::string buildSctList(const gcode::LineList& lines, const MachineConfig& config,
                         ConversionObserver& observer, sct::Ttraject& list, bool& relativeAtEnd, int& incoherent)
{
    list.Clear();
    const sct::BuildResult r = sct::GCodeToElements(lines, config, list, &observer);
    relativeAtEnd = r.RelativeAtEnd;
    incoherent = incoherentLine(r.Error);
    if (r.Error) return statusText(r.Error);
    return {};
}

// Each PVT file goes to the output folder as soon as its run closes, so a large job never holds
// all their texts; a failed write ends the conversion. The translator writes several files at
// once from its workers: the failure kept is the one of the lowest-numbered file. No folder:
// the texts stay in the output.
template <class File>
std::function<bool(const File&)> pvtFileWriter(const std::string& dir, const std::shared_ptr<FirstFileFailure>& failed)
{
    if (dir.empty()) return {};
    return [dir, failed](const File& f) {
        std::string err;
        if (WriteFileAtomic(dir + f.Name, f.Text, &err)) return true;
        failed->Report(f.Name, std::move(err));
        return false;
    };
}

// The script written as it is made: into a temporary file beside its place, renamed over the
// old script once the conversion is complete. What could not be written stays in memory, so
// the view still gets the whole text.
class StreamedScript {
public:
    explicit StreamedScript(std::string path) : mPath(std::move(path)), mTemp(mPath + ".part~")
    {
        mFd = ::open(mTemp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (mFd < 0) fail();
    }
    ~StreamedScript()
    {
        closeFile();
        if (!mKept) ::unlink(mTemp.c_str());
    }
    StreamedScript(const StreamedScript&) = delete;
    StreamedScript& operator=(const StreamedScript&) = delete;

    void Append(std::string_view text)
    {
        if (mFd >= 0 && mRest.empty()) {
            if (writeAll(text)) {
                mWritten += text.size();
                return;
            }
            fail();
        }
        mRest.append(text);
    }
    // The failed conversion's text is no script: nothing of it is kept.
    void Discard()
    {
        closeFile();
        std::string().swap(mRest);
        mWritten = 0;
    }
    // The whole text under the script's name. False with `error` when it could not be put
    // there; the text is then still handed to the view.
    bool Commit(std::string& error)
    {
        if (!mError.empty() || !closeFile()) {
            error = mError.empty() ? mPath + ": " + std::strerror(errno) : mError;
            return false;
        }
        if (std::rename(mTemp.c_str(), mPath.c_str()) != 0) {
            error = mPath + ": " + std::strerror(errno);
            return false;
        }
        mKept = true;
        mCommitted = true;
        return true;
    }
    // The text for the view: the file part (the script, or the temporary that the reader
    // removes) and what stayed in memory.
    void HandOver(JobConversionOutput& out)
    {
        closeFile();
        out.ScriptText = std::move(mRest);
        out.ScriptFileBytes = mWritten;
        if (mWritten == 0) return;
        out.ScriptFile = mCommitted ? mPath : mTemp;
        out.ScriptFileTemporary = !mCommitted;
        mKept = true;
    }

private:
    bool writeAll(std::string_view text)
    {
        while (!text.empty()) {
            const ssize_t n = ::write(mFd, text.data(), text.size());
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            text.remove_prefix(static_cast<std::size_t>(n));
        }
        return true;
    }
    void fail()
    {
        if (mError.empty()) mError = mPath + ": " + std::strerror(errno);
    }
    bool closeFile()
    {
        if (mFd < 0) return true;
        const int fd = std::exchange(mFd, -1);
        return ::close(fd) == 0;
    }

    std::string mPath;
    std::string mTemp;
    int mFd = -1;
    std::size_t mWritten = 0;  // bytes of the text in the file, from its start
    std::string mRest;         // the text after them
    std::string mError;
    bool mKept = false;       // the temporary is the script now, or the view reads it
    bool mCommitted = false;
};

}  // namespace

bool RelativeModeAtEnd(const gcode::LineList& lines)
{
    bool relative = false;
    std::string clean;
    for (std::string_view raw : lines) {
        // Words outside comments only.
        clean.clear();
        int depth = 0;
        for (char c : raw) {
            if (c == '(') ++depth;
            else if (c == ')' && depth > 0) --depth;
            else if (depth == 0 && c != ' ') clean += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        for (std::size_t p = clean.find('G'); p != std::string::npos; p = clean.find('G', p + 1)) {
            std::size_t q = p + 1;
            while (q < clean.size() && clean[q] == '0') ++q;
            std::size_t e = q;
            while (e < clean.size() && clean[e] >= '0' && clean[e] <= '9') ++e;
            const bool decimal = e < clean.size() && clean[e] == '.';
            if (decimal) continue;
            const std::string_view code = std::string_view(clean).substr(q, e - q);
            if (code == "91") relative = true;
            else if (code == "90" || code == "53") relative = false;
        }
    }
    return relative;
}

JobConversionOutput BuildSctJob(const JobConversionInput& in, ConversionObserver& observer)
{
    JobConversionOutput out;
    static const gcode::LineList kNoLines;
    const gcode::LineList& lines = in.Lines ? *in.Lines : kNoLines;
    out.RelativeAtEnd = RelativeModeAtEnd(lines);
    auto list = std::make_shared<sct::Ttraject>();
    // The list is built from the lines as saved, so a later look at TMP.GCODE shows them.
    std::string err;
    if (!in.GCodeDir.empty() && !WriteFileAtomic(in.GCodeDir + "TMP.GCODE", lines.joined("\r\n"), &err)) {
        out.SctFailed = true;
        out.Error = err;
        return out;
    }
    const std::string e = buildSctList(lines, in.Config, observer, *list, out.RelativeAtEnd, out.IncoherentLine);
    if (!e.empty() || observer.StopRequested()) {
        out.SctFailed = true;
        out.Stopped = observer.StopRequested();
        out.Error = e;
        return out;
    }
    out.SctText = list->SctText();
    // Rewritten even for an empty list, so the file never shows an earlier program.
    if (!in.GCodeDir.empty() && !WriteFileAtomic(in.GCodeDir + "TEST.SCT", out.SctText, &err)) {
        out.SctFailed = true;
        out.Error = err;
        return out;
    }
    out.SctList = std::move(list);
    out.Ok = true;
    return out;
}

namespace {
JobConversionOutput convertJob(const JobConversionInput& in, ConversionObserver& observer, StreamedScript* stream);
}

JobConversionOutput ConvertJob(const JobConversionInput& in, ConversionObserver& observer)
{
    // The script path's script is written as it is made; the SCT path's once it is complete.
    std::unique_ptr<StreamedScript> stream;
    if (in.Mode == 2 && !in.ScriptPath.empty()) stream = std::make_unique<StreamedScript>(in.ScriptPath);
    JobConversionOutput out = convertJob(in, observer, stream.get());
    const bool complete = out.Ok && out.WriteError.empty() && !in.ScriptPath.empty();
    if (stream) {
        if (complete) {
            out.ScriptWritten = stream->Commit(out.ScriptWriteError);
            if (out.ScriptWritten) out.ScriptWriteError.clear();
        }
        stream->HandOver(out);
    } else if (complete) {
        out.ScriptWritten = WriteFileAtomic(in.ScriptPath, out.ScriptText, &out.ScriptWriteError);
        if (out.ScriptWritten) {
            out.ScriptWriteError.clear();
            // The view reads it back from there: the text is not held twice.
            out.ScriptFile = in.ScriptPath;
            out.ScriptFileBytes = out.ScriptText.size();
            std::string().swap(out.ScriptText);
        }
    }
    return out;
}

namespace {
JobConversionOutput convertJob(const JobConversionInput& in, ConversionObserver& observer, StreamedScript* stream)
{
    JobConversionOutput out;
    static const gcode::LineList kNoLines;
    const gcode::LineList& lines = in.Lines ? *in.Lines : kNoLines;
    out.RelativeAtEnd = RelativeModeAtEnd(lines);

    if (in.Mode == 1) {
        std::shared_ptr<sct::Ttraject> list = in.SctList;
        if (!list || in.RebuildSct) {
            out = BuildSctJob(in, observer);
            if (out.SctFailed) return out;
            out.Ok = false;
            list = out.SctList;
        } else {
            out.SctText = list->SctText();
        }
        out.SctList = list;

        sct::SctConversion gen;
        const auto failed = std::make_shared<FirstFileFailure>();
        const bool complete = sct::GenerateSct(*list, in.Config, out.RelativeAtEnd, gen, &observer,
                                               pvtFileWriter<sct::PvtFile>(in.OutputDir, failed));
        if (failed->Any()) out.WriteError = failed->Error();
        out.ScriptText = std::move(gen.Script);
        for (sct::PvtFile& f : gen.PvtFiles) out.PvtFiles.push_back({std::move(f.Name), std::move(f.Text)});
        out.PvtFileCount = static_cast<int>(out.PvtFiles.size());
        out.Stopped = !complete || observer.StopRequested();
        out.Ok = !out.Stopped;
        if (out.Stopped && out.Error.empty()) out.Error = "STOP";
        return out;
    }

    const auto failed = std::make_shared<FirstFileFailure>();
    std::function<bool(const tclpath::PvtFile&)> sink = pvtFileWriter<tclpath::PvtFile>(in.OutputDir, failed);
    if (sink && in.PvtRunClosed)
        sink = [write = std::move(sink), closed = in.PvtRunClosed](const tclpath::PvtFile& f) {
            const bool ok = write(f);
            closed();
            return ok;
        };
    tclpath::TclConversionOptions options;
    options.FileSink = std::move(sink);
    options.KeepDrawing = in.KeepDrawing;
    if (stream) options.ScriptSink = [stream](std::string_view text) { stream->Append(text); };
    tclpath::TclConversionResult r = tclpath::GCodeToTCL(lines, in.Config, &observer, in.Executor, std::move(options));
    if (stream && r.Error) stream->Discard();
    if (failed->Any()) out.WriteError = failed->Error();
    out.ScriptText = std::move(r.Script);
    out.PvtFiles = std::move(r.PvtFiles);
    out.PvtFileCount = r.PvtFileCount;
    out.LineTable = std::move(r.LineTable);
    out.Drawing = std::move(r.Drawing);
    out.Stopped = r.Stopped;
    if (r.Error) {
        out.Error = statusText(r.Error);
        out.IncoherentLine = incoherentLine(r.Error);
    } else if (r.Stopped) {
        out.Error = "STOP";
    }
    out.Ok = !r.Error && !r.Stopped;
    return out;
}

}  // namespace

}  // namespace mvx

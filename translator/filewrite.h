#pragma once
// Whole-file writes of the conversion's outputs: through a temporary file in the same folder,
// renamed over the old file once complete, so a failed or interrupted write never leaves a
// truncated file under the real name. Thread-safe: the PVT workers write several files at once.

#include <mutex>
#include <string>
#include <string_view>

namespace mvx {

// False with `error` ("<path>: <reason>") when the file could not be written.
bool WriteWholeFile(const std::string& path, std::string_view data, std::string* error = nullptr);

// The failure of the lowest-numbered PVT file ("TRJ" + n + ".PVT") among several reported at
// once by the workers, so the message names the same file whatever the timing.
class FirstFileFailure {
public:
    void Report(const std::string& fileName, std::string error);
    bool Any() const;
    std::string Error() const;

private:
    mutable std::mutex mMutex;
    long long mNumber = -1;
    std::string mError;
};

}  // namespace mvx

#pragma once
// INI file with Windows profile-file rules: sections and keys compared without regard to case,
// every write goes straight to the file (written to a temporary and renamed, so a failed write
// never loses the file), lines that are not touched are kept byte for byte, no escaping.
// Reads see changes made to the file by others (the file is re-read when it changes on disk).
// One object per file; not thread-safe (use from one thread, or guard it).

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace mvx {

class IniFile {
public:
    // Who may read the file once this object wrote it. OwnerOnly is for files that hold
    // passwords: the file and its temporary are created readable by the owner alone (an older
    // file is tightened at its next write). Shared keeps the mode the file had.
    enum class Access { Shared, OwnerOnly };

    explicit IniFile(std::string path, Access access = Access::Shared);

    const std::string& path() const noexcept { return mPath; }

    std::optional<std::string> read(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key, const std::string& def) const;
    // Decimal integer (blanks around allowed); the default when missing or not an integer.
    long long readInteger(std::string_view section, std::string_view key, long long def) const;
    bool readBool(std::string_view section, std::string_view key, bool def) const;
    // Number with "." as decimal separator; the default when missing or not a number.
    double readFloat(std::string_view section, std::string_view key, double def) const;

    // Each write returns false when the file could not be written (read-only folder...).
    bool writeString(std::string_view section, std::string_view key, std::string_view value);
    bool writeInteger(std::string_view section, std::string_view key, long long value);
    bool writeBool(std::string_view section, std::string_view key, bool value);
    bool writeFloat(std::string_view section, std::string_view key, double value);

    bool deleteKey(std::string_view section, std::string_view key);
    bool eraseSection(std::string_view section);

    bool sectionExists(std::string_view section) const;
    bool valueExists(std::string_view section, std::string_view key) const;
    std::vector<std::string> sections() const;                     // file order, first spelling
    std::vector<std::string> keys(std::string_view section) const;  // file order
    // key, value pairs of a section in file order.
    std::vector<std::pair<std::string, std::string>> sectionValues(std::string_view section) const;

    // Last write error text, empty when the last write succeeded.
    const std::string& lastError() const noexcept { return mLastError; }

private:
    struct Line {
        std::string raw;  // the bytes of the line without its end
        std::string eol;  // "\r\n", "\n" or "" for a last line without end
    };
    void refresh() const;
    bool commit();
    int findSection(std::string_view section) const;  // index of the header line, -1 when none
    int findKey(int sectionLine, std::string_view key) const;

    std::string mPath;
    Access mAccess = Access::Shared;
    mutable std::vector<Line> mLines;
    mutable long long mStamp = -2;  // mtime+size fingerprint of the loaded content
    mutable long long mSize = -2;
    std::string mLastError;
};

}  // namespace mvx

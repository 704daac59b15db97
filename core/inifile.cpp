#include "inifile.h"

#include "translator/numtext.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mvx {
namespace {

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x >= 'a' && x <= 'z') x -= 32;
        if (y >= 'a' && y <= 'z') y -= 32;
        if (x != y) return false;
    }
    return true;
}

std::string_view trim(std::string_view s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
    return s.substr(b, e - b);
}

// "[name]" -> name; otherwise nullopt.
std::optional<std::string_view> sectionName(std::string_view raw)
{
    std::string_view t = trim(raw);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    const std::size_t close = t.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    return trim(t.substr(1, close - 1));
}

bool isComment(std::string_view raw)
{
    std::string_view t = trim(raw);
    return !t.empty() && t.front() == ';';
}

// key of "key=value", nullopt for lines without "=".
std::optional<std::string_view> keyOf(std::string_view raw)
{
    if (isComment(raw)) return std::nullopt;
    const std::size_t eq = raw.find('=');
    if (eq == std::string_view::npos) return std::nullopt;
    return trim(raw.substr(0, eq));
}

std::string valueOf(std::string_view raw)
{
    std::string_view v = trim(raw.substr(raw.find('=') + 1));
    // A value quoted at both ends is read without its quotes.
    if (v.size() >= 2 && ((v.front() == '"' && v.back() == '"') || (v.front() == '\'' && v.back() == '\'')))
        v = v.substr(1, v.size() - 2);
    return std::string(v);
}

std::string clean(std::string_view s)
{
    // A value or key is one line: CR and LF would break the file's structure.
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '\r' && c != '\n') out += c;
    return out;
}

}  // namespace

IniFile::IniFile(std::string path, Access access) : mPath(std::move(path)), mAccess(access) {}

void IniFile::refresh() const
{
    struct stat st {};
    long long stamp = -1, size = -1;
    if (::stat(mPath.c_str(), &st) == 0) {
        stamp = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
        size = static_cast<long long>(st.st_size);
    }
    if (stamp == mStamp && size == mSize) return;
    mStamp = stamp;
    mSize = size;
    mLines.clear();
    if (stamp < 0) return;
    std::ifstream in(mPath, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    const std::string data = ss.str();
    std::size_t pos = 0;
    while (pos < data.size()) {
        const std::size_t nl = data.find('\n', pos);
        if (nl == std::string::npos) {
            mLines.push_back({data.substr(pos), ""});
            break;
        }
        std::size_t end = nl;
        std::string eol = "\n";
        if (end > pos && data[end - 1] == '\r') {
            --end;
            eol = "\r\n";
        }
        mLines.push_back({data.substr(pos, end - pos), eol});
        pos = nl + 1;
    }
}

bool IniFile::commit()
{
    std::string data;
    for (const Line& l : mLines) data += l.raw + l.eol;
    const std::string tmp = mPath + ".tmp~";
    // A fresh temporary with the final mode from its first byte: a stale one may carry any mode.
    ::unlink(tmp.c_str());
    struct stat st {};
    const bool existed = ::stat(mPath.c_str(), &st) == 0;
    const mode_t mode = mAccess == Access::OwnerOnly ? mode_t(0600) : existed ? (st.st_mode & 07777) : mode_t(0666);
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    // The umask still applies to a new shared file; a kept mode is put back as it was.
    if (fd >= 0 && (mAccess == Access::OwnerOnly || existed)) ::fchmod(fd, mode);
    std::FILE* f = fd >= 0 ? ::fdopen(fd, "wb") : nullptr;
    if (!f && fd >= 0) ::close(fd);
    if (!f) {
        mLastError = mPath + ": " + std::strerror(errno);
        mStamp = mSize = -2;
        return false;
    }
    const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    const bool flushed = std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    if (!written || !flushed || !closed || std::rename(tmp.c_str(), mPath.c_str()) != 0) {
        mLastError = mPath + ": " + std::strerror(errno);
        std::remove(tmp.c_str());
        mStamp = mSize = -2;
        return false;
    }
    mLastError.clear();
    mStamp = mSize = -2;  // re-stat on next read
    refresh();
    return true;
}

int IniFile::findSection(std::string_view section) const
{
    for (std::size_t i = 0; i < mLines.size(); ++i) {
        auto name = sectionName(mLines[i].raw);
        if (name && iequals(*name, trim(section))) return static_cast<int>(i);
    }
    return -1;
}

int IniFile::findKey(int sectionLine, std::string_view key) const
{
    for (std::size_t i = static_cast<std::size_t>(sectionLine) + 1; i < mLines.size(); ++i) {
        if (sectionName(mLines[i].raw)) break;
        auto k = keyOf(mLines[i].raw);
        if (k && iequals(*k, trim(key))) return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> IniFile::read(std::string_view section, std::string_view key) const
{
    refresh();
    const int s = findSection(section);
    if (s < 0) return std::nullopt;
    const int k = findKey(s, key);
    if (k < 0) return std::nullopt;
    return valueOf(mLines[k].raw);
}

std::string IniFile::readString(std::string_view section, std::string_view key, const std::string& def) const
{
    auto v = read(section, key);
    return v ? *v : def;
}

long long IniFile::readInteger(std::string_view section, std::string_view key, long long def) const
{
    auto v = read(section, key);
    if (!v) return def;
    auto n = num::parseIntStrict(*v);
    return n ? *n : def;
}

bool IniFile::readBool(std::string_view section, std::string_view key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

double IniFile::readFloat(std::string_view section, std::string_view key, double def) const
{
    auto v = read(section, key);
    if (!v) return def;
    auto n = num::parseStrict(*v);
    return n ? *n : def;
}

bool IniFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    refresh();
    const std::string sec = clean(trim(section)), k = clean(trim(key)), val = clean(value);
    const std::string eol = mLines.empty() || mLines.front().eol.empty() ? "\r\n" : mLines.front().eol;
    int s = findSection(sec);
    if (s < 0) {
        if (!mLines.empty() && mLines.back().eol.empty()) mLines.back().eol = eol;
        mLines.push_back({"[" + sec + "]", eol});
        mLines.push_back({k + "=" + val, eol});
        return commit();
    }
    const int line = findKey(s, k);
    if (line >= 0) {
        // Keep the key's spelling in the file; only the value changes.
        std::string raw = mLines[line].raw;
        const std::size_t eq = raw.find('=');
        const std::string newRaw = raw.substr(0, eq + 1) + val;
        if (newRaw == raw) return true;
        mLines[line].raw = newRaw;
        return commit();
    }
    // New key: after the last non-blank line of the section.
    std::size_t insertAt = static_cast<std::size_t>(s) + 1;
    for (std::size_t i = insertAt; i < mLines.size(); ++i) {
        if (sectionName(mLines[i].raw)) break;
        if (!trim(mLines[i].raw).empty()) insertAt = i + 1;
    }
    if (insertAt > 0 && mLines[insertAt - 1].eol.empty()) mLines[insertAt - 1].eol = eol;
    mLines.insert(mLines.begin() + static_cast<long>(insertAt), Line{k + "=" + val, eol});
    return commit();
}

bool IniFile::writeInteger(std::string_view section, std::string_view key, long long value)
{
    return writeString(section, key, num::integer(value));
}

bool IniFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    return writeString(section, key, value ? "1" : "0");
}

bool IniFile::writeFloat(std::string_view section, std::string_view key, double value)
{
    return writeString(section, key, num::general(value));
}

bool IniFile::deleteKey(std::string_view section, std::string_view key)
{
    refresh();
    const int s = findSection(section);
    if (s < 0) return true;
    const int k = findKey(s, key);
    if (k < 0) return true;
    mLines.erase(mLines.begin() + k);
    return commit();
}

bool IniFile::eraseSection(std::string_view section)
{
    refresh();
    const int s = findSection(section);
    if (s < 0) return true;
    std::size_t end = static_cast<std::size_t>(s) + 1;
    while (end < mLines.size() && !sectionName(mLines[end].raw)) ++end;
    mLines.erase(mLines.begin() + s, mLines.begin() + static_cast<long>(end));
    return commit();
}

bool IniFile::sectionExists(std::string_view section) const
{
    refresh();
    return findSection(section) >= 0;
}

bool IniFile::valueExists(std::string_view section, std::string_view key) const
{
    return read(section, key).has_value();
}

std::vector<std::string> IniFile::sections() const
{
    refresh();
    std::vector<std::string> out;
    for (const Line& l : mLines) {
        auto name = sectionName(l.raw);
        if (!name) continue;
        bool seen = false;
        for (const auto& o : out) seen = seen || iequals(o, *name);
        if (!seen) out.emplace_back(*name);
    }
    return out;
}

std::vector<std::string> IniFile::keys(std::string_view section) const
{
    std::vector<std::string> out;
    for (auto& kv : sectionValues(section)) out.push_back(kv.first);
    return out;
}

std::vector<std::pair<std::string, std::string>> IniFile::sectionValues(std::string_view section) const
{
    refresh();
    std::vector<std::pair<std::string, std::string>> out;
    const int s = findSection(section);
    if (s < 0) return out;
    for (std::size_t i = static_cast<std::size_t>(s) + 1; i < mLines.size(); ++i) {
        if (sectionName(mLines[i].raw)) break;
        auto k = keyOf(mLines[i].raw);
        if (!k || k->empty()) continue;
        bool seen = false;
        for (const auto& o : out) seen = seen || iequals(o.first, *k);
        if (!seen) out.emplace_back(std::string(*k), valueOf(mLines[i].raw));
    }
    return out;
}

}  // namespace mvx

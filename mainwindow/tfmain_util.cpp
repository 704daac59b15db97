#include "tfmain_util.h"

#include "translator/texts.h"

#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

namespace mvx::mainui {

std::string T(const char* key) { return texts::get(key); }

bool readWholeFile(const std::string& path, std::string& data)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    data = std::move(ss).str();
    return !f.bad();
}

namespace {

// Bytes no G-code text holds: NUL and the control characters other than TAB, LF, VT, FF, CR
// and the DOS end-of-file mark.
bool binaryByte(unsigned char c)
{
    return c < 0x20 && c != '\t' && c != '\n' && c != '\v' && c != '\f' && c != '\r' && c != 0x1A;
}

// UTF-16 (after its byte-order mark) as UTF-8; false when the length is odd.
bool utf16ToUtf8(const std::string& bytes, bool bigEndian, std::string& out)
{
    if (bytes.size() % 2 != 0) return false;
    std::u16string units(bytes.size() / 2, u'\0');
    for (std::size_t i = 0; i < units.size(); ++i) {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        units[i] = static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    }
    out = QString::fromUtf16(units.data(), static_cast<qsizetype>(units.size())).toUtf8().toStdString();
    return true;
}

}  // namespace

bool readGCodeFile(const std::string& path, std::string& data, std::string& error)
{
    data.clear();
    const std::string name = baseName(path);
    auto refuse = [&](const std::string& why) {
        error = name + " : " + why;
        data.clear();
        return false;
    };
    auto kindRefusal = [&](const struct stat& st) {
        if (S_ISDIR(st.st_mode)) return refuse("a folder, not a G-code file");
        if (S_ISFIFO(st.st_mode)) return refuse("a pipe (FIFO), not a G-code file");
        return refuse("not a regular file");
    };
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return refuse(std::strerror(errno));
    if (!S_ISREG(st.st_mode)) return kindRefusal(st);
    // Without blocking, in case it was swapped for a FIFO since; checked again on the open file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return refuse(std::strerror(errno));
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return kindRefusal(st);
    }
    std::string bytes;
    bytes.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int e = errno;
            ::close(fd);
            return refuse(std::strerror(e));
        }
        if (n == 0) break;
        bytes.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);

    if (bytes.size() >= 2 && (bytes.compare(0, 2, "\xFF\xFE") == 0 || bytes.compare(0, 2, "\xFE\xFF") == 0)) {
        const bool big = bytes[0] == '\xFE';
        if (!utf16ToUtf8(bytes.substr(2), big, data)) return refuse("not valid UTF-16 text (odd length)");
    } else if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        data = bytes.substr(3);
    } else {
        data = std::move(bytes);
    }
    std::string().swap(bytes);
    if (data.find_first_not_of(" \t\r\n\x1A") == std::string::npos) return refuse("empty, no G-code line in it");
    if (data.find('\0') != std::string::npos)
        return refuse("holds NUL bytes, not a G-code text file (UTF-16 without a byte-order mark?)");
    for (char c : data)
        if (binaryByte(static_cast<unsigned char>(c))) return refuse("holds binary bytes, not a G-code text file");
    return true;
}

std::string baseName(const std::string& path)
{
    const std::size_t s = path.rfind('/');
    return s == std::string::npos ? path : path.substr(s + 1);
}

}  // namespace mvx::mainui

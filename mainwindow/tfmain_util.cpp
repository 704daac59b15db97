#include "tfmain_util.h"

#include "translator/texts.h"

#include <Qsci/qsciscintilla.h>

#include <fstream>
#include <sstream>

namespace mvx::mainui {

std::string T(const char* key) { return texts::get(key); }

// Splits a file's bytes into lines at CR LF, LF or CR.
std::vector<std::string> splitLines(const std::string& data)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    const std::size_t n = data.size();
    for (std::size_t i = 0; i < n; ++i) {
        const char c = data[i];
        if (c == '\n' || c == '\r') {
            out.emplace_back(data, start, i - start);
            if (c == '\r' && i + 1 < n && data[i + 1] == '\n') ++i;
            start = i + 1;
        }
    }
    if (start < n) out.emplace_back(data, start, n - start);
    return out;
}

std::string joinLines(const std::vector<std::string>& lines, const char* eol)
{
    std::size_t size = 0;
    for (const std::string& l : lines) size += l.size() + 2;
    std::string out;
    out.reserve(size);
    for (const std::string& l : lines) {
        out += l;
        out += eol;
    }
    return out;
}

bool readWholeFile(const std::string& path, std::string& data)
{
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::ostringstream ss;
    ss << f.rdbuf();
    data = std::move(ss).str();
    return !f.bad();
}

// A whole text into a view in one go, as UTF-8 bytes (no QString copy of a huge text).
void setViewText(QsciScintilla* view, const std::string& text)
{
    view->SendScintilla(QsciScintillaBase::SCI_SETTEXT, text.c_str());
    view->SendScintilla(QsciScintillaBase::SCI_EMPTYUNDOBUFFER);
    view->setCursorPosition(0, 0);
}

std::string viewText(QsciScintilla* view)
{
    const long n = view->SendScintilla(QsciScintillaBase::SCI_GETLENGTH);
    std::string out(static_cast<std::size_t>(n) + 1, '\0');
    view->SendScintilla(QsciScintillaBase::SCI_GETTEXT, static_cast<unsigned long>(n + 1), out.data());
    out.resize(static_cast<std::size_t>(n));
    return out;
}

std::string baseName(const std::string& path)
{
    const std::size_t s = path.rfind('/');
    return s == std::string::npos ? path : path.substr(s + 1);
}

}  // namespace mvx::mainui

#include "tclindent.h"

#include "translator/numtext.h"

namespace mvx::tclbench {

std::vector<std::string> ReindentLines(const std::vector<std::string>& lines, int depth)
{
    if (depth <= 0) return lines;
    std::vector<std::string> out;
    out.reserve(lines.size());
    int level = 0;
    for (std::string line : lines) {
        for (char& ch : line)
            if (ch == '\t') ch = ' ';
        const auto first = line.find_first_not_of(' ');
        if (first == std::string::npos) {
            line.clear();
        } else {
            line = line.substr(first, line.find_last_not_of(' ') - first + 1);
        }
        if (level < 0) level = 0;
        const std::size_t pad = std::size_t(depth) * std::size_t(level);
        const bool empty = line.empty();
        line.insert(0, pad, ' ');
        if (!empty) {
            for (std::size_t i = pad; i < line.size(); ++i) {
                if (line[i] == '#') break;
                if (line[i] == '{') ++level;
                else if (line[i] == '}') --level;
            }
            if (level >= 1) {
                const std::size_t at = std::size_t(level - 1) * std::size_t(depth);
                if (at < line.size() && line[at] == '{') line.insert(0, std::size_t(depth), ' ');
            }
        }
        out.push_back(std::move(line));
    }
    return out;
}

std::string ReindentText(const std::string& text, int depth)
{
    if (depth <= 0) return text;
    std::vector<std::string> lines;
    const bool crlf = text.find("\r\n") != std::string::npos;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }
    const std::vector<std::string> done = ReindentLines(lines, depth);
    std::string out;
    for (std::size_t i = 0; i < done.size(); ++i) {
        out += done[i];
        if (i + 1 < done.size()) out += crlf ? "\r\n" : "\n";
    }
    return out;
}

bool ParseIndentDepth(const std::string& text, int& depth)
{
    const auto value = num::parseIntStrict(text);
    if (!value || *value < 1 || *value > 64) return false;
    depth = int(*value);
    return true;
}

}  // namespace mvx::tclbench

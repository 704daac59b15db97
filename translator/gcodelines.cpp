#include "gcodelines.h"

#include <limits>
#include <stdexcept>

namespace mvx::gcode {

LineList::LineList(std::initializer_list<std::string_view> lines)
{
    std::size_t bytes = 0;
    for (std::string_view l : lines) bytes += l.size();
    reserve(lines.size(), bytes);
    for (std::string_view l : lines) push_back(l);
}

LineList::LineList(const std::vector<std::string>& lines)
{
    std::size_t bytes = 0;
    for (const std::string& l : lines) bytes += l.size();
    reserve(lines.size(), bytes);
    for (const std::string& l : lines) push_back(l);
}

void LineList::checkRoom(std::size_t bytes)
{
    if (bytes > std::numeric_limits<std::uint32_t>::max()) throw std::length_error("a program of 4 GiB or more");
}

LineList LineList::FromText(std::string text)
{
    LineList out;
    const std::size_t n = text.size();
    checkRoom(n);
    std::size_t breaks = 0;
    for (std::size_t i = 0; i < n; ++i)
        breaks += text[i] == '\n' || (text[i] == '\r' && (i + 1 == n || text[i + 1] != '\n'));
    out.mEnds.reserve(breaks + 1);
    // The characters move down over the line breaks as the lines are found.
    std::size_t to = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[i];
        if (c == '\n' || c == '\r') {
            out.mEnds.push_back(static_cast<std::uint32_t>(to));
            if (c == '\r' && i + 1 < n && text[i + 1] == '\n') ++i;
        } else {
            text[to++] = c;
        }
    }
    if (n > 0 && text[n - 1] != '\n' && text[n - 1] != '\r') out.mEnds.push_back(static_cast<std::uint32_t>(to));
    text.resize(to);
    out.mText = std::move(text);
    return out;
}

void LineList::reserve(std::size_t lines, std::size_t bytes)
{
    mEnds.reserve(lines);
    mText.reserve(bytes);
}

void LineList::push_back(std::string_view line)
{
    checkRoom(mText.size() + line.size());
    mText.append(line);
    mEnds.push_back(static_cast<std::uint32_t>(mText.size()));
}

void LineList::insert(std::size_t index, std::string_view line)
{
    if (index >= size()) {
        push_back(line);
        return;
    }
    checkRoom(mText.size() + line.size());
    const std::size_t at = beginOf(index);
    mText.insert(at, line);
    mEnds.insert(mEnds.begin() + static_cast<std::ptrdiff_t>(index), static_cast<std::uint32_t>(at));
    const auto added = static_cast<std::uint32_t>(line.size());
    for (std::size_t i = index; i < mEnds.size(); ++i) mEnds[i] += added;
}

void LineList::replace(std::size_t index, std::string_view line)
{
    if (index >= size()) return;
    const std::size_t at = beginOf(index);
    const std::size_t old = mEnds[index] - at;
    checkRoom(mText.size() - old + line.size());
    mText.replace(at, old, line);
    for (std::size_t i = index; i < mEnds.size(); ++i)
        mEnds[i] = static_cast<std::uint32_t>(mEnds[i] - old + line.size());
}

void LineList::erase(std::size_t index)
{
    if (index >= size()) return;
    const std::size_t at = beginOf(index);
    const std::size_t old = mEnds[index] - at;
    mText.erase(at, old);
    mEnds.erase(mEnds.begin() + static_cast<std::ptrdiff_t>(index));
    for (std::size_t i = index; i < mEnds.size(); ++i) mEnds[i] = static_cast<std::uint32_t>(mEnds[i] - old);
}

std::string LineList::joined(std::string_view eol) const
{
    std::string out;
    out.reserve(mText.size() + size() * eol.size());
    for (std::string_view l : *this) {
        out += l;
        out += eol;
    }
    return out;
}

}  // namespace mvx::gcode

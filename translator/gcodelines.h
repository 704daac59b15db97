#pragma once
// A program's lines back to back in one text, with where each ends: a million short CAM lines
// cost their characters and one offset each, instead of a string object and a heap block each.
// Lines hold no line break. Edits (one line at a time, from the line list) move the text after
// the edited line. The text stays under 4 GiB (std::length_error beyond).

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace mvx::gcode {

class LineList {
public:
    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::string_view;
        using difference_type = std::ptrdiff_t;
        using pointer = void;
        using reference = std::string_view;

        const_iterator() = default;
        const_iterator(const LineList* list, std::size_t index) : mList(list), mIndex(index) {}
        std::string_view operator*() const { return (*mList)[mIndex]; }
        std::string_view operator[](difference_type n) const { return (*mList)[mIndex + static_cast<std::size_t>(n)]; }
        const_iterator& operator++() { return ++mIndex, *this; }
        const_iterator operator++(int) { return {mList, mIndex++}; }
        const_iterator& operator--() { return --mIndex, *this; }
        const_iterator operator--(int) { return {mList, mIndex--}; }
        const_iterator& operator+=(difference_type n) { return mIndex += static_cast<std::size_t>(n), *this; }
        const_iterator& operator-=(difference_type n) { return mIndex -= static_cast<std::size_t>(n), *this; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b)
        {
            return static_cast<difference_type>(a.mIndex) - static_cast<difference_type>(b.mIndex);
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.mIndex == b.mIndex; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.mIndex <=> b.mIndex; }

    private:
        const LineList* mList = nullptr;
        std::size_t mIndex = 0;
    };
    using value_type = std::string_view;
    using iterator = const_iterator;

    LineList() = default;
    LineList(std::initializer_list<std::string_view> lines);
    // From separate strings (a short list made by a caller).
    LineList(const std::vector<std::string>& lines);  // NOLINT(google-explicit-constructor)

    template <class It>
    LineList(It first, It last)
    {
        for (; first != last; ++first) push_back(std::string_view(*first));
    }

    // A file's bytes cut at CR LF, LF or CR, in place: the text's own buffer is kept.
    static LineList FromText(std::string text);

    std::size_t size() const noexcept { return mEnds.size(); }
    bool empty() const noexcept { return mEnds.empty(); }
    std::string_view operator[](std::size_t i) const noexcept
    {
        const std::size_t begin = i == 0 ? 0 : mEnds[i - 1];
        return std::string_view(mText.data() + begin, mEnds[i] - begin);
    }
    std::string_view front() const noexcept { return (*this)[0]; }
    std::string_view back() const noexcept { return (*this)[size() - 1]; }
    const_iterator begin() const noexcept { return {this, 0}; }
    const_iterator end() const noexcept { return {this, size()}; }
    // Characters of all lines, without line breaks.
    std::size_t textBytes() const noexcept { return mText.size(); }

    void reserve(std::size_t lines, std::size_t bytes);
    void push_back(std::string_view line);
    void insert(std::size_t index, std::string_view line);  // index <= size()
    void replace(std::size_t index, std::string_view line);
    void erase(std::size_t index);

    // Every line followed by `eol`.
    std::string joined(std::string_view eol) const;

    friend bool operator==(const LineList& a, const LineList& b) { return a.mEnds == b.mEnds && a.mText == b.mText; }

private:
    std::size_t beginOf(std::size_t i) const noexcept { return i == 0 ? 0 : mEnds[i - 1]; }
    // Refuses a text that the ends could not hold.
    static void checkRoom(std::size_t bytes);

    std::string mText;
    // One past each line's last character in mText: four bytes a line, not eight.
    std::vector<std::uint32_t> mEnds;
};

}  // namespace mvx::gcode

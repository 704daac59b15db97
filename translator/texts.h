#pragma once
// The table of user-visible message strings. Each message has a key (the language-file key,
// for example "StringMath01") and a built-in text; a language load replaces the current texts.
// Thread-safe: workers may read texts while the GUI thread loads a language.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace mvx::texts {

enum class Family { Translator, Controller };

struct Builtin {
    std::string_view key;
    std::string_view text;
};

// Registers built-in rows of one family; a key registered twice keeps its first row.
// The translator's own rows are registered on first use; other libraries call this at start-up.
void add(Family family, std::span<const Builtin> rows);

// Current text of a key; an unknown key gives the key itself, so a missing row shows up.
std::string get(std::string_view key);
bool has(std::string_view key);
void set(std::string_view key, std::string value);

// Every current text of a family back to its built-in value (before each language load).
void restoreBuiltins(Family family);

// Keys of a family in registration order (the order of a language file's write-back).
std::vector<std::string> keys(Family family);

}  // namespace mvx::texts

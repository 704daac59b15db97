#include "texts.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <shared_mutex>

namespace mvx::texts {

std::span<const Builtin> translatorBuiltins();  // texts_translator.cpp

namespace {

struct Entry {
    Family family;
    std::string builtin;
    std::string current;
};

struct Registry {
    std::shared_mutex mutex;
    std::map<std::string, Entry, std::less<>> entries;
    std::vector<std::pair<Family, std::string>> order;
};

void addLocked(Registry& r, Family family, std::span<const Builtin> rows)
{
    for (const Builtin& b : rows) {
        if (r.entries.find(b.key) != r.entries.end()) continue;
        r.entries.emplace(std::string(b.key), Entry{family, std::string(b.text), std::string(b.text)});
        r.order.emplace_back(family, std::string(b.key));
    }
}

Registry& registry()
{
    static Registry* r = [] {
        auto* reg = new Registry;
        addLocked(*reg, Family::Translator, translatorBuiltins());
        return reg;
    }();
    return *r;
}

}  // namespace

void add(Family family, std::span<const Builtin> rows)
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    addLocked(r, family, rows);
}

std::string get(std::string_view key)
{
    Registry& r = registry();
    std::shared_lock lock(r.mutex);
    auto it = r.entries.find(key);
    return it == r.entries.end() ? std::string(key) : it->second.current;
}

bool has(std::string_view key)
{
    Registry& r = registry();
    std::shared_lock lock(r.mutex);
    return r.entries.find(key) != r.entries.end();
}

void set(std::string_view key, std::string value)
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    auto it = r.entries.find(key);
    if (it != r.entries.end()) it->second.current = std::move(value);
}

void restoreBuiltins(Family family)
{
    Registry& r = registry();
    std::unique_lock lock(r.mutex);
    for (auto& [k, e] : r.entries)
        if (e.family == family) e.current = e.builtin;
}

std::vector<std::string> keys(Family family)
{
    Registry& r = registry();
    std::shared_lock lock(r.mutex);
    std::vector<std::string> out;
    for (const auto& [f, k] : r.order)
        if (f == family) out.push_back(k);
    return out;
}

}  // namespace mvx::texts

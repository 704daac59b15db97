#include "apitable.h"

#include "apiwire.h"
#include "controller.h"
#include "translator/numtext.h"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace mvx::api {
namespace {

std::vector<std::string> split(std::string_view s, char sep)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t p = s.find(sep, start);
        out.emplace_back(s.substr(start, p == std::string_view::npos ? std::string_view::npos : p - start));
        if (p == std::string_view::npos) break;
        start = p + 1;
    }
    return out;
}

std::vector<std::string> words(std::string_view s)
{
    std::vector<std::string> out;
    for (auto& w : split(s, ' '))
        if (!w.empty()) out.push_back(w);
    return out;
}

// "K", "K*3", "K*n", "K*2n", "K?*n": kind text, repeat, list factor, valid-only mark.
struct Token {
    std::string kind;
    int repeat = 1;
    int perCount = 0;
    bool validOnly = false;
};

Token token(const std::string& w)
{
    Token t;
    std::string k = w;
    const std::size_t star = w.find('*');
    if (star != std::string::npos) {
        k = w.substr(0, star);
        const std::string r = w.substr(star + 1);
        if (r == "n")
            t.perCount = 1;
        else if (r == "2n")
            t.perCount = 2;
        else
            t.repeat = static_cast<int>(num::parseIntStrict(r).value_or(1));
    }
    if (!k.empty() && k.back() == '?') {
        t.validOnly = true;
        k.pop_back();
    }
    t.kind = k;
    return t;
}

InKind inKind(const std::string& k)
{
    static const std::pair<const char*, InKind> kinds[] = {
        {"T", InKind::Name},          {"X", InKind::Text},       {"I", InKind::Int},
        {"U", InKind::Unsigned},      {"B", InKind::Bool},       {"C", InKind::Char},
        {"F13", InKind::F13},         {"F6", InKind::F6},        {"F4", InKind::F4},
        {"E13", InKind::E13},         {"G", InKind::G},          {"F", InKind::LocalDouble},
        {"n", InKind::Count},         {"N", InKind::CountSent},  {"Ix", InKind::IntNotSent},
        {"names", InKind::Names},     {"gtypes", InKind::GatheringTypes},
    };
    for (auto& [name, kind] : kinds)
        if (k == name) return kind;
    throw std::logic_error("api table: unknown input kind " + k);
}

OutKind outKind(const std::string& k)
{
    static const std::pair<const char*, OutKind> kinds[] = {
        {"T", OutKind::Text},          {"Tw", OutKind::ScriptAnswer}, {"D", OutKind::StrictDouble},
        {"d", OutKind::LenientDouble}, {"i", OutKind::LenientInt},    {"I!", OutKind::StrictInt},
        {"I", OutKind::LocalInt},      {"b0", OutKind::BoolNoZero},   {"b", OutKind::BoolRue},
        {"b1", OutKind::BoolOneOrRue},
    };
    for (auto& [name, kind] : kinds)
        if (k == name) return kind;
    throw std::logic_error("api table: unknown output kind " + k);
}

std::vector<ApiFunction> parseTable(std::string_view text)
{
    std::vector<ApiFunction> table(kSlotCount);
    for (const std::string& line : split(text, '\n')) {
        if (line.empty() || line[0] == '#') continue;
        const auto cols = split(line, '\t');
        if (cols.size() != 6) throw std::logic_error("api table: bad row " + line);
        ApiFunction f;
        f.slot = static_cast<int>(num::parseIntStrict(cols[0]).value_or(-1));
        if (f.slot < 0 || f.slot >= kSlotCount) throw std::logic_error("api table: bad slot " + line);
        f.name = cols[1];
        for (const auto& w : words(cols[2])) {
            if (w == "-") continue;
            const Token t = token(w);
            f.inputs.push_back({inKind(t.kind), t.repeat, t.perCount});
        }
        f.trailer = cols[3];
        for (const auto& w : words(cols[4])) {
            if (w == "-") continue;
            const Token t = token(w);
            f.outputs.push_back({outKind(t.kind), t.repeat, t.perCount, t.validOnly});
        }
        for (const auto& w : words(cols[5])) {
            if (w == "used") f.used = true;
            else if (w == "local") f.local = true;
            else if (w == "A") f.outputsFirst = true;
            else if (w == "scan") f.scan = true;
            else if (w == "tw") f.scriptAnswer = true;
            else if (w == "trav") f.travelLimits = true;
            else if (w == "sep") f.spacedLast = true;
            else if (w != "-") throw std::logic_error("api table: unknown flag " + w);
        }
        table[f.slot] = std::move(f);
    }
    for (int i = 0; i < kSlotCount; ++i)
        if (table[i].slot != i) throw std::logic_error("api table: missing slot " + num::integer(i));
    return table;
}

bool hasLineBreak(std::string_view s) { return s.find_first_of("\r\n") != std::string_view::npos; }
bool badName(std::string_view s) { return s.find_first_of("\r\n,)") != std::string_view::npos; }

const char* kindText(InKind k)
{
    switch (k) {
    case InKind::Name: return "name";
    case InKind::Text: return "text";
    case InKind::Names: return "names";
    case InKind::GatheringTypes: return "type names";
    case InKind::Char: return "character";
    default: return "value";
    }
}

std::string writeDouble(InKind k, double v)
{
    switch (k) {
    case InKind::F13: return link::WriteF13(v);
    case InKind::F6: return link::WriteF6(v);
    case InKind::F4: return link::WriteF4(v);
    case InKind::E13: return link::WriteE13(v);
    default: return link::WriteG(v);
    }
}

bool isDoubleKind(InKind k)
{
    return k == InKind::F13 || k == InKind::F6 || k == InKind::F4 || k == InKind::E13 || k == InKind::G;
}

BuiltRequest refuse(std::string why)
{
    BuiltRequest r;
    r.error = kErrorBadInput;
    r.why = std::move(why);
    return r;
}

// Leading integer of a field (blanks, sign, digits); 0 when there is none.
long long lenientInt(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
    std::size_t j = i;
    if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
    std::size_t k = j;
    while (k < s.size() && s[k] >= '0' && s[k] <= '9') ++k;
    if (k == j) return 0;
    return num::parseIntStrict(s.substr(i, std::min<std::size_t>(k - i, 19))).value_or(0);
}

// Stores one output value (emplace keeps GCC from a false maybe-uninitialized report on variants).
template <class T>
void put(std::optional<Value>& slot, T&& v)
{
    slot.emplace(std::in_place_type<std::decay_t<T>>, std::forward<T>(v));
}

}  // namespace

void InstallSocketApi()
{
    link::Controller& c = link::CurrentController();
    if (c.apiInstalled()) return;
    (void)FunctionTable();
    c.markApiInstalled();
}

bool ApiInstalled() { return link::CurrentController().apiInstalled(); }

const std::vector<ApiFunction>& FunctionTable()
{
    static const std::vector<ApiFunction> table = parseTable(EmbeddedTableText());
    return table;
}

const ApiFunction& Function(int slot) { return FunctionTable().at(static_cast<std::size_t>(slot)); }

const ApiFunction* FindFunction(std::string_view name)
{
    for (const auto& f : FunctionTable())
        if (f.name == name) return &f;
    return nullptr;
}

int ListCount(const ApiFunction& f, std::span<const Value> args)
{
    std::size_t a = 0;
    for (const auto& in : f.inputs) {
        if (in.kind == InKind::Count || in.kind == InKind::CountSent) {
            if (a < args.size())
                if (auto* v = std::get_if<long long>(&args[a])) return static_cast<int>(std::max(0LL, std::min(*v, 100000LL)));
            return 0;
        }
        a += in.perCount ? 1 : static_cast<std::size_t>(in.repeat);
    }
    return 0;
}

BuiltRequest BuildRequest(const ApiFunction& f, std::span<const Value> args)
{
    BuiltRequest r;
    if (f.local) return r;
    if (f.inputs.empty()) {
        r.text = f.trailer;
        return r;
    }
    std::vector<std::string> pieces;
    std::vector<std::string> names;
    std::vector<std::string> listValues;  // the values a "%" repetition writes
    long long count = 0;
    bool gathering = false;
    std::string gatheringText;
    std::size_t a = 0;
    auto next = [&]() -> const Value* { return a < args.size() ? &args[a++] : nullptr; };

    for (const auto& in : f.inputs) {
        if (in.perCount) {
            const Value* v = next();
            const std::size_t want = static_cast<std::size_t>(count) * static_cast<std::size_t>(in.perCount);
            std::vector<std::string> written;
            if (auto* dv = v ? std::get_if<std::vector<double>>(v) : nullptr) {
                if (dv->size() != want) return refuse("list length does not match the count");
                for (double d : *dv) written.push_back(writeDouble(in.kind, d));
            } else if (auto* iv = v ? std::get_if<std::vector<long long>>(v) : nullptr) {
                if (iv->size() != want) return refuse("list length does not match the count");
                for (long long d : *iv) written.push_back(num::integer(d));
            } else {
                return refuse("a list argument is missing");
            }
            if (!names.empty() || f.trailer.find('%') != std::string::npos)
                listValues = std::move(written);
            else
                pieces.insert(pieces.end(), written.begin(), written.end());
            continue;
        }
        for (int k = 0; k < in.repeat; ++k) {
            const Value* v = next();
            if (!v) return refuse("an argument is missing");
            switch (in.kind) {
            case InKind::Name:
            case InKind::Text:
            case InKind::Char: {
                auto* s = std::get_if<std::string>(v);
                if (!s) return refuse("a text argument is missing");
                if (in.kind == InKind::Text ? hasLineBreak(*s) : badName(*s))
                    return refuse(std::string("the ") + kindText(in.kind) + " \"" + *s + "\" holds a character that would change the request");
                if (in.kind == InKind::Char && s->size() != 1) return refuse("one character expected");
                pieces.push_back(*s);
                break;
            }
            case InKind::Int:
            case InKind::Unsigned:
            case InKind::Count:
            case InKind::CountSent:
            case InKind::IntNotSent: {
                auto* i = std::get_if<long long>(v);
                if (!i) return refuse("an integer argument is missing");
                if (in.kind == InKind::Unsigned && (*i < 0 || *i > UINT32_MAX)) return refuse("an unsigned value is out of range");
                if (in.kind == InKind::Count || in.kind == InKind::CountSent) {
                    if (*i < 0 || *i > 10000) return refuse("the count is out of range");
                    count = *i;
                }
                if (in.kind != InKind::Count && in.kind != InKind::IntNotSent) pieces.push_back(num::integer(*i));
                break;
            }
            case InKind::Bool: {
                auto* b = std::get_if<bool>(v);
                if (!b) return refuse("a boolean argument is missing");
                pieces.push_back(*b ? "True" : "False");
                break;
            }
            case InKind::LocalDouble:
                break;
            case InKind::Names: {
                auto* s = std::get_if<std::string>(v);
                if (!s) return refuse("the names argument is missing");
                names = split(*s, ';');
                if (count < 1 || count > 12 || names.size() != static_cast<std::size_t>(count))
                    return refuse("the names do not match the count (1 to 12 names separated by \";\")");
                for (const auto& n : names)
                    if (n.empty() || badName(n)) return refuse("the name \"" + n + "\" is empty or holds a character that would change the request");
                break;
            }
            case InKind::GatheringTypes: {
                auto* s = std::get_if<std::string>(v);
                if (!s) return refuse("the type names argument is missing");
                if (s->size() > 255) return refuse("the type names are longer than 255 characters");
                if (badName(*s)) return refuse("the type names hold a character that would change the request");
                gathering = true;
                for (const auto& w : words(*s)) gatheringText += w + " ,";
                if (!gatheringText.empty()) gatheringText.pop_back();
                gatheringText += ")";
                break;
            }
            default: {
                if (!isDoubleKind(in.kind)) return refuse("unexpected argument");
                double d = 0;
                if (auto* dv = std::get_if<double>(v))
                    d = *dv;
                else if (auto* iv = std::get_if<long long>(v))
                    d = static_cast<double>(*iv);
                else
                    return refuse("a number argument is missing");
                pieces.push_back(writeDouble(in.kind, d));
                break;
            }
            }
        }
    }

    r.text = f.name + "(";
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        if (i) r.text += (f.spacedLast && i + 1 == pieces.size()) ? ", " : ",";
        r.text += pieces[i];
    }
    if (gathering) {
        r.text += gatheringText;
        return r;
    }
    const std::size_t open = f.trailer.find('{');
    const std::size_t close = f.trailer.find('}');
    if (open == std::string::npos || close == std::string::npos) {
        r.text += f.trailer;
        return r;
    }
    r.text += f.trailer.substr(0, open);
    const std::string piece = f.trailer.substr(open + 1, close - open - 1);
    const bool joined = piece.find_first_of("@%") != std::string::npos;
    for (long long i = 0; i < count; ++i) {
        if (joined && i) r.text += ",";
        for (char c : piece) {
            if (c == '@' && static_cast<std::size_t>(i) < names.size())
                r.text += names[static_cast<std::size_t>(i)];
            else if (c == '%' && static_cast<std::size_t>(i) < listValues.size())
                r.text += listValues[static_cast<std::size_t>(i)];
            else
                r.text += c;
        }
    }
    r.text += f.trailer.substr(close + 1);
    return r;
}

ParsedReply ParseReply(const ApiFunction& f, std::string_view reply, int count)
{
    ParsedReply p;
    if (reply.empty()) {
        p.code = kErrorEmptyReply;
        return p;
    }
    p.code = link::ReplyErrorCode(reply);
    const bool write = f.outputsFirst || p.code == 0 || (f.scriptAnswer && p.code == 1);
    if (!write) return p;

    std::vector<ApiOutput> flat;
    for (const auto& o : f.outputs) {
        const int k = o.perCount ? o.perCount * std::max(0, count) : o.repeat;
        for (int i = 0; i < k; ++i) flat.push_back(o);
    }
    p.outputs.assign(flat.size(), std::nullopt);

    // Fields of the outputs, in order; nullopt where the value stays unchanged.
    std::vector<std::optional<std::string>> fields(flat.size());
    if (f.scan) {
        const std::size_t first = reply.find(',');
        std::size_t pos = first == std::string_view::npos ? reply.size() : first + 1;
        for (std::size_t j = 0; j < flat.size(); ++j) {
            const std::size_t comma = reply.find(',', pos);
            if (comma == std::string_view::npos) break;  // a number with no comma after it is not taken
            fields[j] = std::string(reply.substr(pos, comma - pos));
            pos = comma + 1;
        }
    } else {
        for (std::size_t j = 0; j < flat.size(); ++j) fields[j] = link::ReplyField(reply, static_cast<int>(j) + 2);
    }

    for (std::size_t j = 0; j < flat.size(); ++j) {
        const ApiOutput& o = flat[j];
        if (o.kind == OutKind::ScriptAnswer) {
            // Everything after the first comma, up to six characters before the first "API".
            const std::size_t comma = reply.find(',');
            const std::size_t start = comma == std::string_view::npos ? 0 : comma + 1;
            const std::size_t api = reply.find("API");
            std::size_t end = start;
            if (api != std::string_view::npos && api >= 6 && api - 6 > start) end = api - 6;
            put(p.outputs[j], std::string(reply.substr(start, end - start)));
            continue;
        }
        if (!fields[j]) continue;
        const std::string& s = *fields[j];
        switch (o.kind) {
        case OutKind::Text: put(p.outputs[j], s); break;
        case OutKind::LenientDouble:
            if (o.validOnly) {
                if (auto v = num::parseStrict(s)) put(p.outputs[j], *v);
            } else {
                put(p.outputs[j], num::parseLenient(s));
            }
            break;
        case OutKind::LenientInt:
            if (o.validOnly) {
                if (auto v = num::parseIntStrict(s)) put(p.outputs[j], *v);
            } else {
                put(p.outputs[j], lenientInt(s));
            }
            break;
        case OutKind::StrictDouble:
            if (auto v = num::parseStrict(s)) {
                put(p.outputs[j], *v);
            } else if (!p.conversionError) {
                p.conversionError = true;
                p.conversionText = s;
            }
            break;
        case OutKind::StrictInt:
            if (auto v = num::parseIntStrict(s)) {
                put(p.outputs[j], *v);
            } else if (!p.conversionError) {
                p.conversionError = true;
                p.conversionText = s;
            }
            break;
        case OutKind::BoolNoZero: put(p.outputs[j], s.find('0') == std::string::npos); break;
        case OutKind::BoolRue: put(p.outputs[j], s.find("rue") != std::string::npos); break;
        case OutKind::BoolOneOrRue:
            put(p.outputs[j], s.find('1') != std::string::npos || s.find("rue") != std::string::npos);
            break;
        default: break;
        }
    }
    if (p.conversionError) {
        std::fill(p.outputs.begin(), p.outputs.end(), std::nullopt);
        if (f.travelLimits) {
            p.conversionError = false;
            p.code = kErrorEmptyReply;
        }
    }
    return p;
}

CallResult Call(int slot, int socket, std::span<const Value> args)
{
    CallResult r;
    if (slot < 0 || slot >= kSlotCount) {
        r.code = kErrorBadInput;
        return r;
    }
    const ApiFunction& f = Function(slot);
    if (f.local) {
        auto str = [&](std::size_t i) { return i < args.size() && std::holds_alternative<std::string>(args[i]) ? std::get<std::string>(args[i]) : std::string(); };
        auto integer = [&](std::size_t i) { return i < args.size() && std::holds_alternative<long long>(args[i]) ? std::get<long long>(args[i]) : 0LL; };
        auto real = [&](std::size_t i) {
            if (i >= args.size()) return 0.0;
            if (auto* d = std::get_if<double>(&args[i])) return *d;
            if (auto* n = std::get_if<long long>(&args[i])) return static_cast<double>(*n);
            return 0.0;
        };
        switch (slot) {
        case 0:
            link::RunOffGuiThread([&] { r.code = link::SocketOpen(str(0), static_cast<int>(integer(1)), real(2)); });
            break;
        case 1: r.code = link::SocketSetTimeout(static_cast<int>(integer(0)), real(1)); break;
        case 2: r.code = link::SocketClose(static_cast<int>(integer(0))); break;
        case 3: r.code = 0; r.outputs.emplace_back(Value(std::string("0"))); break;
        case 4: r.code = 0; r.outputs.emplace_back(Value(std::string("NO DLL USED"))); break;
        default: r.code = kErrorEmptyReply; break;
        }
        return r;
    }
    const BuiltRequest b = BuildRequest(f, args);
    if (b.error) {
        r.code = b.error;
        r.conversionText = b.why;
        return r;
    }
    // From the GUI thread the request goes off it: the wire never blocks the windows.
    link::RunOffGuiThread([&] { r.reply = link::SendCommand(socket, b.text); });
    ParsedReply p = ParseReply(f, r.reply, ListCount(f, args));
    r.code = p.code;
    r.outputs = std::move(p.outputs);
    r.conversionError = p.conversionError;
    r.conversionText = std::move(p.conversionText);
    return r;
}

CallResult Call(std::string_view name, int socket, std::span<const Value> args)
{
    const ApiFunction* f = FindFunction(name);
    if (!f) {
        CallResult r;
        r.code = kErrorBadInput;
        return r;
    }
    return Call(f->slot, socket, args);
}

}  // namespace mvx::api

#pragma once
// The controller API function table: 239 slots read from the checked-in data file
// (api_functions.tsv, built into the library) and one marshaller that builds every request and
// parses every reply from a row's input and output kinds.

#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace mvx::api {

inline constexpr int kSlotCount = 239;

// Result codes of the link itself (the controller's own codes are small negative numbers).
inline constexpr int kErrorEmptyReply = -2;    // nothing came back
inline constexpr int kErrorNoSocket = -1;      // no pooled connection was given
inline constexpr int kErrorBadInput = -1000;   // an argument would change the request; nothing sent

// A strict conversion of a reply field failed (a getter's number field is not a number).
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class InKind {
    Name, Text, Int, Unsigned, Bool, Char, F13, F6, F4, E13, G,
    LocalDouble, Count, CountSent, IntNotSent, Names, GatheringTypes
};
enum class OutKind {
    Text, ScriptAnswer, StrictDouble, LenientDouble, LenientInt, StrictInt, LocalInt,
    BoolNoZero, BoolRue, BoolOneOrRue
};

struct ApiInput {
    InKind kind;
    int repeat = 1;      // fixed number of values
    int perCount = 0;    // 1: a list of n values, 2: a list of 2n values (one vector argument)
};

struct ApiOutput {
    OutKind kind;
    int repeat = 1;
    int perCount = 0;
    bool validOnly = false;  // stored only when the field is a valid number
};

struct ApiFunction {
    int slot = -1;
    std::string name;
    std::vector<ApiInput> inputs;
    std::string trailer;
    std::vector<ApiOutput> outputs;
    bool used = false;
    bool local = false;          // answered without the controller
    bool outputsFirst = false;   // outputs written whatever the code
    bool scan = false;           // outputs read number by number after the first comma
    bool scriptAnswer = false;   // outputs also for code 1
    bool travelLimits = false;   // a bad number gives -2 instead of an error
    bool spacedLast = false;     // ", " before the last input
};

// One argument or one output value.
//   Name/Text/Names/GatheringTypes/Char: std::string; Int/Unsigned/Count/CountSent/IntNotSent:
//   long long; Bool: bool; doubles: double; lists: std::vector<double> or std::vector<long long>.
using Value = std::variant<std::monostate, long long, double, std::string, bool, std::vector<double>,
                           std::vector<long long>>;

// Fills the table once; later calls change nothing.
void InstallSocketApi();
bool ApiInstalled();

// All 239 rows, by slot.
const std::vector<ApiFunction>& FunctionTable();
const ApiFunction& Function(int slot);
const ApiFunction* FindFunction(std::string_view name);

struct BuiltRequest {
    std::string text;  // without the line end
    int error = 0;     // kErrorBadInput when an argument is refused
    std::string why;   // what was refused
};
BuiltRequest BuildRequest(const ApiFunction& f, std::span<const Value> args);

// Outputs in placeholder order, lists expanded to one value each; nullopt = left unchanged.
struct ParsedReply {
    int code = kErrorEmptyReply;
    std::vector<std::optional<Value>> outputs;
    bool conversionError = false;
    std::string conversionText;  // the field that failed
};
// `count` is the list length n of the call (0 when the function has no list).
ParsedReply ParseReply(const ApiFunction& f, std::string_view reply, int count);

// Number of values a list input or output holds for the given args (the count argument).
int ListCount(const ApiFunction& f, std::span<const Value> args);

struct CallResult {
    int code = kErrorEmptyReply;
    std::vector<std::optional<Value>> outputs;
    bool conversionError = false;
    std::string conversionText;
    std::string reply;
};
// Calls a slot on a pooled connection: builds, sends, parses. Local slots answer at once.
CallResult Call(int slot, int socket, std::span<const Value> args);
CallResult Call(std::string_view name, int socket, std::span<const Value> args);

// The raw table text built into the library.
std::string_view EmbeddedTableText();

}  // namespace mvx::api

// The table of the filter's verbs and options.
#include "OptionTable.h"

#include <stdexcept>

namespace {

constexpr TVerbName kVerbs[] = {
    {TVerb::Insert, "insert"},         {TVerb::Delete, "delete"}, {TVerb::DeleteOnce, "delete-once"},
    {TVerb::DeleteAll, "delete-all"}, {TVerb::Toggle, "toggle"}, {TVerb::Entries, "entries"},
};

constexpr unsigned Bit(TVerb v) { return 1u << static_cast<unsigned>(v); }
constexpr unsigned kAll = Bit(TVerb::Insert) | Bit(TVerb::Delete) | Bit(TVerb::DeleteOnce) | Bit(TVerb::DeleteAll) |
                          Bit(TVerb::Toggle) | Bit(TVerb::Entries);
constexpr unsigned kPlacing = Bit(TVerb::Insert) | Bit(TVerb::Toggle);
constexpr unsigned kOneSymbol = kPlacing | Bit(TVerb::Delete);
constexpr unsigned kEdits = kAll & ~Bit(TVerb::Entries);

// The names of TInsertPosition, TTargetLines and TSettingsEncoding values, in order.
constexpr const char* kPositions[] = {"head", "char"};
constexpr const char* kTargets[] = {"all", "nonblank", "least", "after-blank"};
constexpr const char* kEncodings[] = {"auto", "utf-8", "cp932"};
constexpr const char* kFormats[] = {"text", "json"};

constexpr TOptionSpec kOptions[] = {
    {"at", 0, required_argument, kOptAt, kPositions, kPlacing},
    {"lines", 0, required_argument, kOptLines, kTargets, kPlacing},
    {"tab-width", 0, required_argument, kOptTabWidth, {}, kPlacing},
    {"keep-indentation", 0, no_argument, kOptKeepIndentation, {}, Bit(TVerb::Insert)},
    {"symbol", 'e', required_argument, 'e', {}, kEdits},
    {"settings", 's', required_argument, 's', {}, kAll},
    {"entry", 0, required_argument, kOptEntry, {}, kOneSymbol},
    {"settings-encoding", 0, required_argument, kOptSettingsEncoding, kEncodings, kAll},
    {"in-place", 'i', optional_argument, 'i', {}, kEdits},
    {"stdin-only", 0, no_argument, kOptStdinOnly, {}, kAll},
    {"format", 0, required_argument, kOptFormat, kFormats, Bit(TVerb::Entries)},
    {"null", 'z', no_argument, 'z', {}, Bit(TVerb::Entries)},
    {"help", 'h', no_argument, 'h', {}, kAll},
    {"version", 'V', no_argument, 'V', {}, kAll},
};

}  // namespace

std::span<const TVerbName> Verbs() { return kVerbs; }

const char* VerbName(TVerb Verb) {
  for (const TVerbName& n : kVerbs)
    if (n.Verb == Verb) return n.Name;
  return "";
}

std::span<const TOptionSpec> Options() { return kOptions; }

const TOptionSpec& OptionOfCode(int Code) {
  for (const TOptionSpec& o : kOptions)
    if (o.Code == Code) return o;
  throw std::logic_error("internal error: an option missing from the table");
}

bool VerbTakes(TVerb Verb, const TOptionSpec& Option) { return (Option.VerbMask & Bit(Verb)) != 0; }

int ValueIndex(const TOptionSpec& Option, const std::string& Value) {
  for (size_t i = 0; i < Option.Values.size(); ++i)
    if (Value == Option.Values[i]) return static_cast<int>(i);
  return -1;
}

// The table of the filter's verbs and options.
#include "OptionTable.h"

#include <stdexcept>

#include "Translate.h"

namespace {

using enum TSymbolSource;
constexpr TVerbName kVerbs[] = {
    {TVerb::Insert, "insert", One, true, ekInsert},
    {TVerb::Delete, "delete", One, true, ekDeleteGiven},
    {TVerb::DeleteOnce, "delete-once", GivenOrSettings, true, ekDeleteOnce},
    {TVerb::DeleteAll, "delete-all", GivenOrSettings, true, ekDeleteAll},
    {TVerb::Toggle, "toggle", One, true, ekInsert},
    {TVerb::Entries, "entries", Settings, false, ekDeleteAll},
};

constexpr unsigned Bit(TVerb v) { return 1u << static_cast<unsigned>(v); }
// The verbs of a kind, as a mask of Bit.
template <class Pick>
constexpr unsigned VerbsWhere(Pick pick) {
  unsigned mask = 0;
  for (const TVerbName& n : kVerbs)
    if (pick(n)) mask |= Bit(n.Verb);
  return mask;
}
constexpr unsigned kAll = VerbsWhere([](const TVerbName&) { return true; });
constexpr unsigned kPlacing = Bit(TVerb::Insert) | Bit(TVerb::Toggle);
constexpr unsigned kOneSymbol = VerbsWhere([](const TVerbName& n) { return n.Symbols == One; });
constexpr unsigned kEdits = VerbsWhere([](const TVerbName& n) { return n.TakesFiles; });

// The names of TInsertPosition, TTargetLines and TSettingsEncoding values, in order.
constexpr const char* kPositions[] = {"head", "char"};
constexpr const char* kTargets[] = {"all", "nonblank", "least", "after-blank"};
constexpr const char* kEncodings[] = {"auto", "utf-8", "cp932"};
constexpr const char* kFormats[] = {"text", "json"};

constexpr TOptionSpec kOptions[] = {
    {"at", 0, required_argument, kOptAt, kPositions, N_("head or char"), kPlacing,
     N_("  --at head|char        where insert and toggle put the symbol\n")},
    {"lines", 0, required_argument, kOptLines, kTargets, N_("all, nonblank, least or after-blank"), kPlacing,
     N_("  --lines all|nonblank|least|after-blank\n"
        "                        which lines receive it\n")},
    {"tab-width", 0, required_argument, kOptTabWidth, {}, nullptr, kPlacing,
     N_("      --tab-width=N     the columns a tab reaches the next multiple of, for\n"
        "                        --at char and --lines least (1 to 64; default 4)\n")},
    {"keep-indentation", 0, no_argument, kOptKeepIndentation, {}, nullptr, Bit(TVerb::Insert),
     N_("      --keep-indentation\n"
        "                        insert --at char keeps every blank: the symbol goes\n"
        "                        after the last indentation character that ends at or\n"
        "                        before the column of least indentation. Without it,\n"
        "                        indentation that mixes kinds is rewritten as spaces\n")},
    {"symbol", 'e', required_argument, 'e', {}, nullptr, kEdits,
     N_("  -e, --symbol=SYMBOL   a symbol (repeat for several); FILE operands follow\n")},
    {"settings", 's', required_argument, 's', {}, nullptr, kAll,
     N_("  -s, --settings=FILE   take the symbols from a settings file: one entry per\n"
        "                        line, symbol TAB caption\n")},
    {"entry", 0, required_argument, kOptEntry, {}, nullptr, kOneSymbol,
     N_("      --entry=N|CAPTION the entry (number from 1, or caption) whose symbol\n"
        "                        insert, delete or toggle uses, as the plug-in's menu\n"
        "                        does\n")},
    {"settings-encoding", 0, required_argument, kOptSettingsEncoding, kEncodings, N_("auto, utf-8 or cp932"), kAll,
     N_("      --settings-encoding=auto|utf-8|cp932\n"
        "                        how a settings file without a byte order mark is\n"
        "                        read; auto (the default): UTF-8 when it is valid\n"
        "                        UTF-8, else code page 932\n")},
    {"in-place", 'i', optional_argument, 'i', {}, nullptr, kEdits,
     N_("  -i, --in-place[=SUFFIX]\n"
        "                        edit each FILE in place; keep the original as\n"
        "                        FILE+SUFFIX when SUFFIX is given\n")},
    {"null", 'z', no_argument, 'z', {}, nullptr, Bit(TVerb::Entries),
     N_("  -z, --null            entries: end each record with NUL, not a line break\n")},
    {"format", 0, required_argument, kOptFormat, kFormats, N_("text or json"), Bit(TVerb::Entries),
     N_("      --format=text|json\n"
        "                        entries: json lists the settings file, its entries\n"
        "                        with every form of their captions, the plug-in's\n"
        "                        menu and the options, as one JSON object\n")},
    {"stdin-only", 0, no_argument, kOptStdinOnly, {}, nullptr, kAll,
     N_("      --stdin-only      read standard input only: refuse FILE operands\n"
        "                        (also -) and -i before reading anything (for editors)\n")},
    {"help", 'h', no_argument, 'h', {}, nullptr, kAll,
     N_("  -h, --help            show this help and exit\n")},
    {"version", 'V', no_argument, 'V', {}, nullptr, kAll,
     N_("  -V, --version         show the version and exit\n")},

};

// Every option has its help lines, and a name for its values where it has values.
constexpr bool RowsComplete() {
  for (const TOptionSpec& o : kOptions)
    if (!o.Help || o.Values.empty() != (o.ValuesText == nullptr)) return false;
  return true;
}
static_assert(RowsComplete(), "an option row without its help or the name of its values");

// Toggle inserts the way editors' comment commands do, and gives back the
// text it took: it never rewrites indentation.
constexpr TVerbDefault kVerbDefaults[] = {
    {TVerb::Toggle, kOptAt, "char"},
    {TVerb::Toggle, kOptLines, "nonblank"},
    {TVerb::Toggle, kOptKeepIndentation, ""},
};

}  // namespace

std::span<const TVerbName> Verbs() { return kVerbs; }

const char* VerbName(TVerb Verb) { return VerbOf(Verb).Name; }

TVerb VerbOfKind(TEditKind Kind) {
  for (const TVerbName& n : kVerbs)
    if (n.Kind == Kind) return n.Verb;
  throw std::logic_error("internal error: an edit kind no verb makes");
}

const TVerbName& VerbOf(TVerb Verb) {
  for (const TVerbName& n : kVerbs)
    if (n.Verb == Verb) return n;
  throw std::logic_error("internal error: a verb missing from the table");
}

std::span<const TOptionSpec> Options() { return kOptions; }

const TOptionSpec& OptionOfCode(int Code) {
  for (const TOptionSpec& o : kOptions)
    if (o.Code == Code) return o;
  throw std::logic_error("internal error: an option missing from the table");
}

bool VerbTakes(TVerb Verb, const TOptionSpec& Option) { return (Option.VerbMask & Bit(Verb)) != 0; }

std::span<const TVerbDefault> VerbDefaults() { return kVerbDefaults; }

int ValueIndex(const TOptionSpec& Option, const std::string& Value) {
  for (size_t i = 0; i < Option.Values.size(); ++i)
    if (Value == Option.Values[i]) return static_cast<int>(i);
  return -1;
}

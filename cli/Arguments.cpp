// Parsing of the filter's command line with getopt_long.
#include "Arguments.h"

#include <getopt.h>

#include <algorithm>
#include <cstring>
#include <map>

#include "Messages.h"
#include "Translate.h"
#include "Utf.h"

namespace {

// The help, in pieces that are translated one by one: a change to one
// option does not take the translation of the whole help away. The lines
// of the options come from the option table, between these two parts.
const char* const kUsageHead[] = {
    N_("Usage: marquill insert [--at head|char] [--lines all|nonblank|least|after-blank]\n"
       "                       [--tab-width N] [--keep-indentation]\n"
       "                       [-i[SUFFIX]] SYMBOL [FILE]...\n"
       "       marquill delete [-i[SUFFIX]] SYMBOL [FILE]...\n"
       "       marquill toggle [--at head|char] [--lines all|nonblank|least|after-blank]\n"
       "                       [--tab-width N] [-i[SUFFIX]] SYMBOL [FILE]...\n"
       "       marquill delete-once|delete-all [-i[SUFFIX]] (-e SYMBOL)... [FILE]...\n"
       "       marquill delete-once|delete-all [-i[SUFFIX]] [--settings FILE] [FILE]...\n"
       "       marquill insert|delete|toggle [OPTION]... [--settings FILE] --entry N|CAPTION\n"
       "                       [FILE]...\n"
       "       marquill entries [--null|--format=json] [--settings FILE]\n"),
    N_("Inserts or deletes head symbols in the lines of UTF-8 texts. Reads each FILE\n"
       "(standard input for - or when there is none) and writes the results one\n"
       "after another to standard output. Line breaks (CR LF, CR, LF) and every\n"
       "unchanged line come out exactly as they came in.\n"),
    "\n",
    N_("Commands:\n"),
    N_("  insert      insert SYMBOL at the head of the lines (--at head, the default)\n"
       "              or at the column of the least indentation (--at char), in all\n"
       "              lines (the default), the non-blank lines, the lines of least\n"
       "              indentation, or the first non-blank line of each paragraph\n"),
    N_("  delete      remove SYMBOL, or SYMBOL without its surrounding blanks, where\n"
       "              it stands right after the indentation of a line\n"),
    N_("  toggle      in each FILE: delete as delete does when every non-blank line\n"
       "              holds SYMBOL (or SYMBOL without its blanks) right after its\n"
       "              indentation, else insert as insert --keep-indentation does (by\n"
       "              default --at char --lines nonblank); a text of blank lines only\n"
       "              stays as it is. It never rewrites indentation: toggling twice\n"
       "              gives back a text in which no line had SYMBOL\n"),
    N_("  delete-once one pass over every line with each symbol in the order given\n"),
    N_("  delete-all  repeat such passes until nothing changes\n"),
    N_("  entries     print the valid entries of a settings file: symbol, a tab and\n"
       "              the caption, with tab, CR, LF and backslash written \\t \\r \\n \\\\\n"
       "              and other control characters as \\xHH\n"),
    "\n",
    N_("Options:\n"),
};
const char* const kUsageTail[] = {
    "\n",
    N_("A SYMBOL is taken verbatim: not empty, no tab or line break. Put -- before\n"
       "operands that begin with '-' and a letter.\n"),
    "\n",
    N_("Without --settings, a settings file is read for --entry, for delete-once\n"
       "and delete-all without -e, and for entries: $MARQUILL_SETTINGS when it is\n"
       "set, else ${XDG_CONFIG_HOME:-$HOME/.config}/marquill/Marquill_Setting.txt.\n"
       "A starter list to copy there is\n"
       "/usr/share/doc/marquill/examples/Marquill_Setting.txt.\n"),
    "\n",
    N_("--entry takes the caption as stored, as entries prints it, or as the menu\n"
       "shows it: without & marks (&& is &), without a trailing access key such as\n"
       "(&M), without the part from a tab on. A CAPTION of digits only is a number:\n"
       "choose an entry with such a caption by its number.\n"),
    "\n",
    N_("Streaming: every edit but --at char and --lines least writes each line as\n"
       "soon as it has been read, in bounded memory; --at char and --lines least\n"
       "write nothing before the least indentation of a FILE is settled, which\n"
       "may take reading all of it.\n"),
    "\n",
    N_("A UTF-8 byte order mark stays in front of the output; UTF-16 is refused.\n"
       "Input holding a NUL byte is refused: convert UTF-16 files to UTF-8.\n"
       "Empty input gives empty output.\n"),
    "\n",
    N_("Exit status: 0 on success; 1 when a file or the output cannot be read or\n"
       "written, or memory runs out; 2 on bad input or a usage error. On an error\n"
       "the program stops at once; output already written stays written, and with\n"
       "-i the file that failed is left as it was (files before it are already\n"
       "rewritten). A fault in an input is reported as\n"
       "marquill:FILE:LINE:COLUMN: message, the line counted from 1 and the column\n"
       "in bytes from 1.\n"),
};

}  // namespace

std::string UsageText() {
  std::string text;
  for (const char* piece : kUsageHead) text += _(piece);
  for (const TOptionSpec& option : Options()) text += _(option.Help);
  for (const char* piece : kUsageTail) text += _(piece);
  return text;
}

namespace {

// Most widths a tab may be given.
constexpr size_t kMostTabWidth = 64;

// Which options the command line holds, for the checks against the verb.
struct TSeen {
  std::vector<int> Codes;  // in the order given
  bool Has(int code) const { return std::find(Codes.begin(), Codes.end(), code) != Codes.end(); }
};

// The usage errors met while scanning: the first one is reported, after
// --help and --version have had their chance.
struct TErrors {
  std::optional<std::string> First;
  void Add(const std::string& m) {
    if (!First) First = m;
  }
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Head symbols often begin with a dash ("- ", "->", "-*", "-1. "): an
// argument whose dash is followed by anything but a letter or a second dash
// is no option (every option is a letter) and is kept as an operand.
bool IsDashSymbol(const std::string& a) { return a.size() >= 2 && a[0] == '-' && a[1] != '-' && !IsLetter(a[1]); }

// The verb, when the first argument is no option; true when there is one.
bool TakeVerb(const std::vector<std::string>& Args, TFilterOptions& o, TErrors& errors) {
  if (Args.empty() || (Args[0].size() > 1 && Args[0][0] == '-')) return false;
  for (const TVerbName& n : Verbs()) {
    if (Args[0] == n.Name) {
      o.Verb = n.Verb;
      return true;
    }
  }
  errors.Add(Fill(_("unknown command %s (insert, delete, toggle, delete-once, delete-all or entries)"),
                  {Quote(Args[0])}));
  return true;
}

// The index of a value in the option's list, or an error naming the choices.
template <class T>
void TakeChoice(const std::string& value, int code, T& into, TErrors& errors) {
  const TOptionSpec& option = OptionOfCode(code);
  const int index = ValueIndex(option, value);
  if (index >= 0) into = static_cast<T>(index);
  else
    errors.Add(Fill(_("invalid value %s for %s (%s)"),
                    {Quote(value), std::string("--") + option.Name, _(option.ValuesText)}));
}

// A tab width: a number from 1 to kMostTabWidth.
void TakeTabWidth(const std::string& value, size_t& into, TErrors& errors) {
  const bool digits = !value.empty() && value.size() <= 2 && value.find_first_not_of("0123456789") == std::string::npos;
  const size_t n = digits ? std::stoul(value) : 0;
  if (n >= 1 && n <= kMostTabWidth) into = n;
  else errors.Add(Fill(_("invalid value %s for --tab-width (a number from 1 to 64)"), {Quote(value)}));
}

// One option, with its value: from getopt_long, or a verb's default.
void TakeOption(int c, const std::string& value, TFilterOptions& o, TErrors& errors) {
  switch (c) {
    case 'h': o.Help = true; break;
    case 'V': o.Version = true; break;
    case kOptAt: TakeChoice(value, c, o.Position, errors); break;
    case kOptLines: TakeChoice(value, c, o.Target, errors); break;
    case kOptTabWidth: TakeTabWidth(value, o.TabWidth, errors); break;
    case kOptKeepIndentation: o.KeepIndentation = true; break;
    case kOptStdinOnly: o.StdinOnly = true; break;
    case kOptFormat: {
      int json = 0;
      TakeChoice(value, c, json, errors);
      o.Json = json == 1;
      break;
    }
    case 'e': o.Symbols.push_back(value); break;
    case 's':
      if (value.empty()) errors.Add(_("option --settings needs a file name"));
      o.Settings = value;
      break;
    case kOptEntry: o.Entry = value; break;
    case kOptSettingsEncoding:
      // Other spellings of UTF-8 that people type.
      TakeChoice(value == "utf8" || value == "UTF-8" ? std::string("utf-8") : value, c, o.SettingsEncoding, errors);
      break;
    case 'i':
      o.InPlace = true;
      o.BackupSuffix = value;
      break;
    case 'z': o.Null = true; break;
  }
}

// getopt_long's tables, made from the option table.
struct TGetoptTables {
  std::vector<option> Long;
  std::string Short = ":";  // ':' first: a missing value is told from an unknown option
  TGetoptTables() {
    for (const TOptionSpec& row : Options()) {
      Long.push_back(option{row.Name, row.Argument, nullptr, row.Code});
      if (!row.Letter) continue;
      Short += row.Letter;
      if (row.Argument != no_argument) Short += row.Argument == optional_argument ? "::" : ":";
    }
    Long.push_back(option{nullptr, 0, nullptr, 0});
  }
};

// getopt_long over the arguments after the verb: fills o and seen, and
// gives the operands. getopt_long works on argv; arguments that only look
// like options are swapped for stand-ins and given back afterwards.
std::vector<std::string> ScanOptions(const std::vector<std::string>& args, TFilterOptions& o, TSeen& seen,
                                     TErrors& errors) {
  std::vector<std::string> copies = args;
  std::vector<std::string> standIns(copies.size(), "x");
  std::map<const char*, const std::string*> original;
  std::string program = "marquill";
  std::vector<char*> argv{program.data()};
  bool afterDashes = false;
  for (size_t i = 0; i < copies.size(); ++i) {
    if (copies[i] == "--") afterDashes = true;
    const bool standIn = !afterDashes && IsDashSymbol(copies[i]);
    argv.push_back(standIn ? standIns[i].data() : copies[i].data());
    if (standIn) original[standIns[i].data()] = &copies[i];
  }
  argv.push_back(nullptr);
  auto text = [&](const char* p) {
    auto it = original.find(p);
    return it != original.end() ? *it->second : std::string(p);
  };
  // The name of the option getopt_long just looked at, for messages.
  auto optionAt = [&](int index) {
    return index > 0 && index < static_cast<int>(argv.size()) && argv[index] ? Quote(argv[index])
                                                                              : std::string(_("an option"));
  };
  const int argc = static_cast<int>(argv.size() - 1);
  const TGetoptTables tables;
  optind = 0;  // a fresh scan, also when called again
  opterr = 0;
  for (;;) {
    const int before = optind == 0 ? 1 : optind;
    const int c = getopt_long(argc, argv.data(), tables.Short.c_str(), tables.Long.data(), nullptr);
    if (c == -1) break;
    if (c == ':') {
      errors.Add(Fill(_("option %s needs a value"), {optionAt(before)}));
    } else if (c == '?') {
      const bool shortOption = optopt > 0 && optopt < 256 && optopt != '?';
      errors.Add(Fill(_("unknown option %s (put -- before a SYMBOL or FILE that begins with '-')"),
                      {shortOption ? Quote(std::string("-") + static_cast<char>(optopt)) : optionAt(before)}));
    } else {
      seen.Codes.push_back(c);
      TakeOption(c, optarg ? text(optarg) : std::string(), o, errors);
    }
  }
  std::vector<std::string> operands;
  for (int i = optind; i < argc; ++i) operands.push_back(text(argv[static_cast<size_t>(i)]));
  return operands;
}

[[noreturn]] void NotFor(const std::string& option, TVerb verb) {
  FailUsage(Fill(_("option %s is not for %s"), {option, VerbName(verb)}));
}

// Options that the verb does not take, and pairs that exclude each other.
void CheckOptionsOfVerb(const TFilterOptions& o, const TSeen& seen) {
  for (const int code : seen.Codes) {
    const TOptionSpec& option = OptionOfCode(code);
    if (!VerbTakes(o.Verb, option)) NotFor(option.Letter == 'e' ? "-e" : (std::string("--") + option.Name).c_str(), o.Verb);
  }
  if (seen.Has('e') && seen.Has('s')) FailUsage(_("give either -e SYMBOL or --settings, not both"));
  if (seen.Has('e') && seen.Has(kOptEntry)) FailUsage(_("give either -e SYMBOL or --entry, not both"));
  if (o.Null && o.Json) FailUsage(_("give either --null or --format=json, not both"));
}

// Where the symbols come from (the command line or a settings file), and
// the operands that are left for FILE.
void TakeSymbolsAndFiles(TFilterOptions& o, const TSeen& seen, std::vector<std::string> operands) {
  const std::string name = VerbName(o.Verb);
  const bool e = seen.Has('e'), entry = seen.Has(kOptEntry), settings = seen.Has('s');
  switch (VerbOf(o.Verb).Symbols) {
    case TSymbolSource::One:
      if (settings && !entry)
        FailUsage(Fill(_("%s takes --settings FILE together with --entry N|CAPTION"), {name}));
      if (e && o.Symbols.size() > 1) FailUsage(Fill(_("%s takes one SYMBOL"), {name}));
      o.FromSettings = entry;
      if (!e && !entry) {
        if (operands.empty()) FailUsage(_("missing SYMBOL"));
        o.Symbols.push_back(operands.front());
        operands.erase(operands.begin());
      }
      break;
    case TSymbolSource::GivenOrSettings: o.FromSettings = !e; break;
    case TSymbolSource::Settings: o.FromSettings = true; break;
  }
  if (!VerbOf(o.Verb).TakesFiles && !operands.empty())
    FailUsage(Fill(_("unexpected argument %s"), {Quote(operands.front())}));
  if (seen.Has(kOptSettingsEncoding) && !o.FromSettings)
    FailUsage(_("option --settings-encoding goes with a settings file"));
  o.Files = std::move(operands);
  // Nothing but standard input is read, and nothing but standard output written.
  if (o.StdinOnly && !o.Files.empty())
    FailUsage(Fill(_("--stdin-only reads standard input only: FILE operand %s refused"), {Quote(o.Files.front())}));
  if (o.StdinOnly && o.InPlace) FailUsage(_("--stdin-only refuses --in-place"));
  if (o.InPlace) {
    if (o.Files.empty()) FailUsage(_("--in-place needs a FILE"));
    for (const std::string& f : o.Files)
      if (f == "-") FailUsage(_("--in-place cannot edit standard input"));
  }
}

}  // namespace

TFilterOptions ParseArguments(const std::vector<std::string>& Args) {
  TFilterOptions o;
  TErrors errors;
  TSeen seen;
  const bool hasVerb = TakeVerb(Args, o, errors);
  const size_t first = hasVerb ? 1 : 0;
  std::vector<std::string> operands =
      ScanOptions(std::vector<std::string>(Args.begin() + static_cast<std::ptrdiff_t>(first), Args.end()), o, seen,
                  errors);
  if (o.Help || o.Version) return o;
  if (errors.First) FailUsage(*errors.First);
  if (!hasVerb)
    FailUsage(Args.empty() ? _("missing command") : _("missing command (a command such as insert comes first)"));
  for (const TVerbDefault& d : VerbDefaults())
    if (d.Verb == o.Verb && !seen.Has(d.Code)) TakeOption(d.Code, d.Value, o, errors);
  CheckOptionsOfVerb(o, seen);
  TakeSymbolsAndFiles(o, seen, std::move(operands));
  return o;
}

std::u16string SymbolFromArgument(const std::string& Argument) {
  if (Argument.empty()) FailBadInput(_("the SYMBOL is empty"));
  auto u = Utf8ToUtf16(Argument);
  if (!u) FailBadInput(Fill(_("the SYMBOL %s is not valid UTF-8"), {Quote(Argument)}));
  for (char16_t c : *u)
    if (c == u'\t' || c == u'\r' || c == u'\n')
      FailBadInput(Fill(_("the SYMBOL %s holds a tab or a line break"), {Quote(Argument)}));
  return std::move(*u);
}

TEdit EditOfOptions(const TFilterOptions& Options, std::vector<std::u16string> Symbols) {
  TEdit edit;
  edit.Position = Options.Position;
  edit.Target = Options.Target;
  edit.Indent = TIndentWay{Options.TabWidth, Options.KeepIndentation};
  switch (Options.Verb) {
    case TVerb::Insert:
    case TVerb::Toggle: edit.Kind = ekInsert; break;
    case TVerb::Delete: edit.Kind = ekDeleteGiven; break;
    case TVerb::DeleteOnce: edit.Kind = ekDeleteOnce; break;
    case TVerb::DeleteAll:
    case TVerb::Entries: edit.Kind = ekDeleteAll; break;
  }
  switch (edit.Kind) {
    case ekInsert:
    case ekDeleteGiven:
      if (!Symbols.empty()) edit.Symbol = std::move(Symbols.front());
      break;
    case ekDeleteOnce:
    case ekDeleteAll: edit.Symbols = std::move(Symbols); break;
  }
  return edit;
}

TEdit ToggleEdit(TEdit Insertion, TToggleChoice Choice) {
  // Deleting from a text of blank lines changes nothing: that is "keep".
  if (Choice != tcInsert) Insertion.Kind = ekDeleteGiven;
  return Insertion;
}

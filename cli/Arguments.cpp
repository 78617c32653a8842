// Parsing of the filter's command line with getopt_long.
#include "Arguments.h"

#include <getopt.h>

#include <cstring>
#include <map>

#include "Messages.h"
#include "Utf.h"

const char kUsage[] =
    "Usage: marquill insert [--at head|char] [--lines all|nonblank|least|after-blank]\n"
    "                       [-i[SUFFIX]] SYMBOL [FILE]...\n"
    "       marquill delete [-i[SUFFIX]] SYMBOL [FILE]...\n"
    "       marquill delete-once|delete-all [-i[SUFFIX]] (-e SYMBOL)... [FILE]...\n"
    "       marquill delete-once|delete-all [-i[SUFFIX]] --settings FILE [FILE]...\n"
    "       marquill insert|delete [OPTION]... --settings FILE --entry N|CAPTION [FILE]...\n"
    "       marquill entries [--null] --settings FILE\n"
    "Inserts or deletes head symbols in the lines of UTF-8 texts. Reads each FILE\n"
    "(standard input for - or when there is none) and writes the results one\n"
    "after another to standard output. Line breaks (CR LF, CR, LF) and every\n"
    "unchanged line come out exactly as they came in.\n"
    "\n"
    "Commands:\n"
    "  insert      insert SYMBOL at the head of the lines (--at head, the default)\n"
    "              or at the column of the least indentation (--at char), in all\n"
    "              lines (the default), the non-blank lines, the lines of least\n"
    "              indentation, or the first non-blank line of each paragraph\n"
    "  delete      remove SYMBOL, or SYMBOL without its surrounding blanks, where\n"
    "              it stands right after the indentation of a line\n"
    "  delete-once one pass over every line with each symbol in the order given\n"
    "  delete-all  repeat such passes until nothing changes\n"
    "  entries     print the valid entries of a settings file: symbol, a tab and\n"
    "              the caption, with tab, CR, LF and backslash written \\t \\r \\n \\\\\n"
    "\n"
    "Options:\n"
    "  --at head|char        where insert puts the symbol\n"
    "  --lines all|nonblank|least|after-blank\n"
    "                        which lines receive it\n"
    "  -e, --symbol=SYMBOL   a symbol (repeat for several); FILE operands follow\n"
    "  -s, --settings=FILE   take the symbols from a settings file: one entry per\n"
    "                        line, symbol TAB caption\n"
    "      --entry=N|CAPTION the entry (number from 1, or caption) whose symbol\n"
    "                        insert or delete uses, as the plug-in's menu does\n"
    "      --settings-encoding=auto|utf-8|cp932\n"
    "                        how a settings file without a byte order mark is\n"
    "                        read; auto (the default): UTF-8 when it is valid\n"
    "                        UTF-8, else code page 932\n"
    "  -i, --in-place[=SUFFIX]\n"
    "                        edit each FILE in place; keep the original as\n"
    "                        FILE+SUFFIX when SUFFIX is given\n"
    "  -z, --null            entries: end each record with NUL, not a line break\n"
    "  -h, --help            show this help and exit\n"
    "  -V, --version         show the version and exit\n"
    "\n"
    "A SYMBOL is taken verbatim: not empty, no tab or line break. Put -- before\n"
    "operands that begin with '-' and a letter.\n"
    "Streaming: every edit but --at char and --lines least writes each line as\n"
    "soon as it has been read, in bounded memory; --at char and --lines least\n"
    "need the whole text of a FILE before they write anything.\n"
    "A UTF-8 byte order mark stays in front of the output; UTF-16 is refused.\n"
    "Input holding a NUL byte is refused (UTF-16 text needs a byte order mark).\n"
    "Empty input gives empty output.\n"
    "\n"
    "Exit status: 0 on success; 1 when a file or the output cannot be read or\n"
    "written, or memory runs out; 2 on bad input or a usage error. On an error\n"
    "the program stops at once; output already written stays written, and with\n"
    "-i no file is replaced.\n";

namespace {

enum : int { kOptAt = 256, kOptLines, kOptEntry, kOptSettingsEncoding };

const option kLongOptions[] = {
    {"at", required_argument, nullptr, kOptAt},
    {"lines", required_argument, nullptr, kOptLines},
    {"symbol", required_argument, nullptr, 'e'},
    {"settings", required_argument, nullptr, 's'},
    {"entry", required_argument, nullptr, kOptEntry},
    {"settings-encoding", required_argument, nullptr, kOptSettingsEncoding},
    {"in-place", optional_argument, nullptr, 'i'},
    {"null", no_argument, nullptr, 'z'},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Head symbols often begin with a dash ("- ", "->", "-*", "-1. "): an
// argument whose dash is followed by anything but a letter or a second dash
// is no option (every option is a letter) and is kept as an operand.
bool IsDashSymbol(const std::string& a) { return a.size() >= 2 && a[0] == '-' && a[1] != '-' && !IsLetter(a[1]); }

const char* VerbName(TVerb v) {
  switch (v) {
    case TVerb::Insert: return "insert";
    case TVerb::Delete: return "delete";
    case TVerb::DeleteOnce: return "delete-once";
    case TVerb::DeleteAll: return "delete-all";
    case TVerb::Entries: return "entries";
  }
  return "";
}

// The name of the option getopt_long just looked at, for messages.
std::string OptionText(const std::vector<char*>& argv, int index) {
  if (index > 0 && index < static_cast<int>(argv.size()) && argv[index]) return Quote(argv[index]);
  return "an option";
}

}  // namespace

TFilterOptions ParseArguments(const std::vector<std::string>& Args) {
  TFilterOptions o;
  std::optional<std::string> firstError;
  auto error = [&](const std::string& m) {
    if (!firstError) firstError = m;
  };

  size_t first = 0;
  bool hasVerb = false;
  if (!Args.empty() && !(Args[0].size() > 1 && Args[0][0] == '-')) {
    const std::string& name = Args[0];
    hasVerb = true;
    first = 1;
    if (name == "insert") o.Verb = TVerb::Insert;
    else if (name == "delete") o.Verb = TVerb::Delete;
    else if (name == "delete-once") o.Verb = TVerb::DeleteOnce;
    else if (name == "delete-all") o.Verb = TVerb::DeleteAll;
    else if (name == "entries") o.Verb = TVerb::Entries;
    else error("unknown command " + Quote(name) + " (insert, delete, delete-once, delete-all or entries)");
  }

  // getopt_long works on argv; arguments that only look like options are
  // swapped for stand-ins and given back afterwards.
  std::vector<std::string> copies(Args.begin() + static_cast<std::ptrdiff_t>(first), Args.end());
  std::vector<std::string> standIns(copies.size(), "x");
  std::map<const char*, const std::string*> original;
  std::string program = "marquill";
  std::vector<char*> argv{program.data()};
  bool afterDashes = false;
  for (size_t i = 0; i < copies.size(); ++i) {
    if (copies[i] == "--") afterDashes = true;
    if (!afterDashes && IsDashSymbol(copies[i])) {
      argv.push_back(standIns[i].data());
      original[standIns[i].data()] = &copies[i];
    } else {
      argv.push_back(copies[i].data());
    }
  }
  argv.push_back(nullptr);
  auto text = [&](const char* p) -> std::string {
    auto it = original.find(p);
    return it != original.end() ? *it->second : std::string(p);
  };

  const int argc = static_cast<int>(argv.size() - 1);
  optind = 0;  // a fresh scan, also when called again
  opterr = 0;
  bool sawE = false, sawSettings = false, sawEntry = false, sawAtOrLines = false, sawEncoding = false;
  for (;;) {
    const int before = optind == 0 ? 1 : optind;
    const int c = getopt_long(argc, argv.data(), ":e:s:i::zhV", kLongOptions, nullptr);
    if (c == -1) break;
    const std::string value = optarg ? text(optarg) : std::string();
    switch (c) {
      case 'h': o.Help = true; break;
      case 'V': o.Version = true; break;
      case kOptAt:
        sawAtOrLines = true;
        if (value == "head") o.Position = ipLineHead;
        else if (value == "char") o.Position = ipFirstChar;
        else error("invalid value " + Quote(value) + " for --at (head or char)");
        break;
      case kOptLines:
        sawAtOrLines = true;
        if (value == "all") o.Target = tlAll;
        else if (value == "nonblank") o.Target = tlNonBlank;
        else if (value == "least") o.Target = tlLeastIndent;
        else if (value == "after-blank") o.Target = tlAfterBlank;
        else error("invalid value " + Quote(value) + " for --lines (all, nonblank, least or after-blank)");
        break;
      case 'e':
        sawE = true;
        o.Symbols.push_back(value);
        break;
      case 's':
        sawSettings = true;
        if (value.empty()) error("option --settings needs a file name");
        o.Settings = value;
        break;
      case kOptEntry:
        sawEntry = true;
        o.Entry = value;
        break;
      case kOptSettingsEncoding:
        sawEncoding = true;
        if (value == "auto") o.SettingsEncoding = TSettingsEncoding::Auto;
        else if (value == "utf-8" || value == "utf8" || value == "UTF-8") o.SettingsEncoding = TSettingsEncoding::Utf8;
        else if (value == "cp932") o.SettingsEncoding = TSettingsEncoding::Cp932;
        else error("invalid value " + Quote(value) + " for --settings-encoding (auto, utf-8 or cp932)");
        break;
      case 'i':
        o.InPlace = true;
        o.BackupSuffix = value;
        break;
      case 'z': o.Null = true; break;
      case ':': error("option " + OptionText(argv, before) + " needs a value"); break;
      default:
        if (optopt > 0 && optopt < 256 && optopt != '?')
          error("unknown option " + Quote(std::string("-") + static_cast<char>(optopt)) +
                " (put -- before a SYMBOL or FILE that begins with '-')");
        else
          error("unknown option " + OptionText(argv, before) +
                " (put -- before a SYMBOL or FILE that begins with '-')");
        break;
    }
  }
  std::vector<std::string> operands;
  for (int i = optind; i < argc; ++i) operands.push_back(text(argv[static_cast<size_t>(i)]));

  if (o.Help || o.Version) return o;
  if (firstError) FailUsage(*firstError);
  if (!hasVerb) {
    if (Args.empty()) FailUsage("missing command");
    FailUsage("missing command (a command such as insert comes first)");
  }

  const std::string name = VerbName(o.Verb);
  auto notFor = [&](const char* option) { FailUsage("option " + std::string(option) + " is not for " + name); };
  const bool insertOrDelete = o.Verb == TVerb::Insert || o.Verb == TVerb::Delete;
  if (sawAtOrLines && o.Verb != TVerb::Insert) notFor("--at or --lines");
  if (sawEntry && !insertOrDelete) notFor("--entry");
  if (o.Null && o.Verb != TVerb::Entries) notFor("--null");
  if (o.InPlace && o.Verb == TVerb::Entries) notFor("--in-place");
  if (sawE && o.Verb == TVerb::Entries) notFor("-e");
  if (sawEncoding && !sawSettings) FailUsage("option --settings-encoding goes with --settings");
  if (sawE && sawSettings) FailUsage("give either -e SYMBOL or --settings, not both");

  switch (o.Verb) {
    case TVerb::Insert:
    case TVerb::Delete:
      if (sawSettings != sawEntry)
        FailUsage(name + " takes --settings FILE together with --entry N|CAPTION, or a SYMBOL");
      if (sawE && o.Symbols.size() > 1) FailUsage(name + " takes one SYMBOL");
      if (!sawE && !sawSettings) {
        if (operands.empty()) FailUsage("missing SYMBOL");
        o.Symbols.push_back(operands.front());
        operands.erase(operands.begin());
      }
      break;
    case TVerb::DeleteOnce:
    case TVerb::DeleteAll:
      if (!sawE && !sawSettings) FailUsage("missing -e SYMBOL or --settings FILE");
      break;
    case TVerb::Entries:
      if (!sawSettings) FailUsage("missing --settings FILE");
      if (!operands.empty()) FailUsage("unexpected argument " + Quote(operands.front()));
      break;
  }
  o.Files = std::move(operands);
  if (o.InPlace) {
    if (o.Files.empty()) FailUsage("--in-place needs a FILE");
    for (const std::string& f : o.Files)
      if (f == "-") FailUsage("--in-place cannot edit standard input");
  }
  return o;
}

std::u16string SymbolFromArgument(const std::string& Argument) {
  if (Argument.empty()) FailBadInput("the SYMBOL is empty");
  auto u = Utf8ToUtf16(Argument);
  if (!u) FailBadInput("the SYMBOL " + Quote(Argument) + " is not valid UTF-8");
  for (char16_t c : *u)
    if (c == u'\t' || c == u'\r' || c == u'\n')
      FailBadInput("the SYMBOL " + Quote(Argument) + " holds a tab or a line break");
  return std::move(*u);
}

TEdit EditOfOptions(const TFilterOptions& Options, std::vector<std::u16string> Symbols) {
  TEdit edit;
  edit.Position = Options.Position;
  edit.Target = Options.Target;
  switch (Options.Verb) {
    case TVerb::Insert: edit.Kind = ekInsert; break;
    case TVerb::Delete: edit.Kind = ekDeleteGiven; break;
    case TVerb::DeleteOnce: edit.Kind = ekDeleteOnce; break;
    case TVerb::DeleteAll:
    case TVerb::Entries: edit.Kind = ekDeleteAll; break;
  }
  if (edit.Kind == ekInsert || edit.Kind == ekDeleteGiven) {
    if (!Symbols.empty()) edit.Symbol = std::move(Symbols.front());
  } else {
    edit.Symbols = std::move(Symbols);
  }
  return edit;
}

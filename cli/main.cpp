// marquill: inserts and deletes head symbols in the lines of a UTF-8 text,
// from standard input to standard output, with the plug-in's own engine.
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "Errors.h"
#include "FilterIo.h"
#include "HeadSymbolUnit.h"
#include "StrRecListUnit.h"
#include "StringRecordList.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"

#ifdef _WIN32
#include <cwchar>
#endif

namespace {

const char kUsage[] =
    "Usage: marquill COMMAND [OPTION]... [--] [SYMBOL]...\n"
    "Inserts or deletes head symbols in the lines of a UTF-8 text read from\n"
    "standard input and writes the result to standard output. Line breaks\n"
    "(CR LF, CR, LF) and every unchanged line come out exactly as they came in.\n"
    "\n"
    "Commands:\n"
    "  insert [--at head|char] [--lines all|nonblank|least|after-blank] SYMBOL\n"
    "      Insert SYMBOL at the head of the lines (--at head, the default) or at\n"
    "      the column of the least indentation (--at char), in all lines (the\n"
    "      default), the non-blank lines, the lines of least indentation, or the\n"
    "      first non-blank line of the text and of each paragraph.\n"
    "  delete SYMBOL\n"
    "      Remove SYMBOL, or SYMBOL without its surrounding blanks, where it\n"
    "      stands right after the indentation of a line.\n"
    "  delete-once SYMBOL... | delete-once --settings FILE\n"
    "      One pass over every line with each symbol in the order given.\n"
    "  delete-all SYMBOL... | delete-all --settings FILE\n"
    "      Repeat such passes until nothing changes.\n"
    "  entries --settings FILE\n"
    "      Print the valid entries of FILE: symbol, a tab and the caption.\n"
    "\n"
    "Options:\n"
    "  --settings FILE  use the symbols of a settings file: code page 932 text,\n"
    "                   one entry per line, symbol TAB caption\n"
    "  -h, --help       show this help and exit\n"
    "  --version        show the version and exit\n"
    "  --               end of options (needed before a SYMBOL such as -x that\n"
    "                   begins with '-' and a letter)\n"
    "\n"
    "A SYMBOL is taken verbatim: it must not be empty or hold a tab or a line break.\n"
    "Exit status: 0 on success, 1 when the output cannot be written, 2 on bad\n"
    "input or a usage error (nothing is written to standard output then).\n";

constexpr int kExitWrite = 1;
constexpr int kExitBad = 2;

// A failure that ends the program with a message on stderr.
struct Failure {
  int status;
  std::string message;
  bool hint = false;  // add the pointer to --help
};

[[noreturn]] void Usage(const std::string& message) { throw Failure{kExitBad, message, true}; }
[[noreturn]] void BadInput(const std::string& message) { throw Failure{kExitBad, message}; }

// Text for messages: the argument quoted, control characters shown escaped.
std::string Quote(const std::string& s) {
  std::string q = "'";
  for (unsigned char c : s) {
    if (c == '\t') q += "\\t";
    else if (c == '\r') q += "\\r";
    else if (c == '\n') q += "\\n";
    else q += static_cast<char>(c);
  }
  return q + "'";
}

enum class Command { Insert, Delete, DeleteOnce, DeleteAll, Entries };

struct Options {
  Command command{};
  std::string commandName;
  TInsertPosition position = ipLineHead;
  TTargetLines target = tlAll;
  std::optional<std::string> settings;
  std::vector<std::string> symbols;
};

// An argument of the shape -x or --word is an option; "-", "- ", "->" and the
// like are symbols, as head symbols often begin with a dash.
bool LooksLikeOption(const std::string& a) {
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (a.size() >= 2 && a[0] == '-' && letter(a[1])) return true;
  return a.size() >= 3 && a[0] == '-' && a[1] == '-' && letter(a[2]);
}

Options ParseArguments(const std::vector<std::string>& args, bool& help, bool& version) {
  Options o;
  help = version = false;
  if (args.empty()) Usage("missing command");
  for (const auto& a : args) {
    if (a == "--") break;
    if (a == "-h" || a == "--help") {
      help = true;
      return o;
    }
    if (a == "--version") {
      version = true;
      return o;
    }
  }
  const std::string& name = args[0];
  if (name == "insert") o.command = Command::Insert;
  else if (name == "delete") o.command = Command::Delete;
  else if (name == "delete-once") o.command = Command::DeleteOnce;
  else if (name == "delete-all") o.command = Command::DeleteAll;
  else if (name == "entries") o.command = Command::Entries;
  else if (LooksLikeOption(name)) Usage("unknown option " + Quote(name) + " (a command comes first)");
  else Usage("unknown command " + Quote(name));
  o.commandName = name;

  const bool isInsert = o.command == Command::Insert;
  const bool takesSettings =
      o.command == Command::DeleteOnce || o.command == Command::DeleteAll || o.command == Command::Entries;
  bool optionsEnded = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (!optionsEnded && a == "--") {
      optionsEnded = true;
      continue;
    }
    if (optionsEnded || !LooksLikeOption(a)) {
      o.symbols.push_back(a);
      continue;
    }
    // --name VALUE or --name=VALUE
    std::string key = a;
    std::optional<std::string> value;
    if (size_t eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
      key = a.substr(0, eq);
      value = a.substr(eq + 1);
    }
    auto takeValue = [&]() -> std::string {
      if (value) return *value;
      if (i + 1 >= args.size()) Usage("option " + key + " needs a value");
      return args[++i];
    };
    if (isInsert && key == "--at") {
      std::string v = takeValue();
      if (v == "head") o.position = ipLineHead;
      else if (v == "char") o.position = ipFirstChar;
      else Usage("invalid value " + Quote(v) + " for --at (head or char)");
    } else if (isInsert && key == "--lines") {
      std::string v = takeValue();
      if (v == "all") o.target = tlAll;
      else if (v == "nonblank") o.target = tlNonBlank;
      else if (v == "least") o.target = tlLeastIndent;
      else if (v == "after-blank") o.target = tlAfterBlank;
      else Usage("invalid value " + Quote(v) + " for --lines (all, nonblank, least or after-blank)");
    } else if (takesSettings && key == "--settings") {
      std::string v = takeValue();
      if (v.empty()) Usage("option --settings needs a file name");
      o.settings = v;
    } else {
      Usage("unknown option " + Quote(a) + " for " + name + " (put -- before a SYMBOL that begins with '-')");
    }
  }

  switch (o.command) {
    case Command::Insert:
    case Command::Delete:
      if (o.symbols.empty()) Usage("missing SYMBOL");
      if (o.symbols.size() > 1) Usage("too many arguments: " + name + " takes one SYMBOL");
      break;
    case Command::DeleteOnce:
    case Command::DeleteAll:
      if (o.settings && !o.symbols.empty()) Usage("give either SYMBOLs or --settings, not both");
      if (!o.settings && o.symbols.empty()) Usage("missing SYMBOL (or --settings FILE)");
      break;
    case Command::Entries:
      if (!o.symbols.empty()) Usage("unexpected argument " + Quote(o.symbols[0]));
      if (!o.settings) Usage("missing --settings FILE");
      break;
  }
  return o;
}

std::u16string SymbolFromArgument(const std::string& s) {
  if (s.empty()) BadInput("the SYMBOL is empty");
  auto u = Utf8ToUtf16(s);
  if (!u) BadInput("the SYMBOL " + Quote(s) + " is not valid UTF-8");
  for (char16_t c : *u)
    if (c == u'\t' || c == u'\r' || c == u'\n') BadInput("the SYMBOL " + Quote(s) + " holds a tab or a line break");
  return std::move(*u);
}

// A symbol entry whose symbol is exactly `symbol`.
std::u16string EntryOf(const std::u16string& symbol) { return symbol + u"\t" + u"-"; }

// The valid entries of a settings file, in file order.
void LoadSettings(const std::string& path, TCommonStringRecordList& list) {
  std::string bytes, error;
  if (!ReadWholeFile(path, bytes, error)) BadInput("cannot read settings file " + Quote(path) + ": " + error);
  std::u16string text;
  if (!DecodeCp932(bytes, text, error)) BadInput("settings file " + Quote(path) + " is " + error);
  list.SetText(text);
  for (int32_t i = list.Count() - 1; i >= 0; --i)
    if (!IsValidEntry(list.Item(i))) list.Delete(i);
}

void WriteOrFail(std::u16string_view text) {
  if (FindLoneSurrogate(text) != std::u16string_view::npos)
    throw Failure{kExitWrite, "internal error: the result is not valid Unicode"};
  std::string error;
  if (!WriteUtf16ToStdout(text, error)) throw Failure{kExitWrite, error};
}

void ListEntries(const std::string& path) {
  TCommonStringRecordList list;
  LoadSettings(path, list);
  std::string out;
  for (int32_t i = 0; i < list.Count(); ++i) {
    out += Utf16ToUtf8Lossy(SymbolOfEntry(list.Item(i)));
    out += '\t';
    out += Utf16ToUtf8Lossy(CaptionOfEntry(list.Item(i)));
    out += '\n';
  }
  std::string error;
  if (!WriteToStdout(out, error)) throw Failure{kExitWrite, error};
}

void Filter(const Options& o) {
  // Everything that can be refused is checked before the input is read.
  TCommonStringRecordList entries;
  std::u16string symbol;
  if (o.settings) {
    LoadSettings(*o.settings, entries);
  } else {
    for (const auto& s : o.symbols) entries.Add(EntryOf(SymbolFromArgument(s)));
    if (o.command == Command::Insert) symbol = SymbolFromArgument(o.symbols[0]);
  }

  std::u16string input;
  {
    std::string error;
    if (!ReadStdinAsUtf16(input, error)) BadInput(error);
  }
  std::u16string output;
  switch (o.command) {
    case Command::Insert: output = InsertHeadSymbol(input, symbol, o.position, o.target); break;
    case Command::Delete: output = DeleteSpecifiedHeadSymbol(input, entries.Item(0)); break;
    case Command::DeleteOnce: output = DeleteHeadSymbolsOnce(input, entries); break;
    case Command::DeleteAll: output = DeleteHeadSymbolsAll(input, entries); break;
    case Command::Entries: break;
  }
  std::u16string().swap(input);  // release the input before encoding
  WriteOrFail(output);
}

int Run(const std::vector<std::string>& args) {
  try {
    bool help = false, version = false;
    Options o = ParseArguments(args, help, version);
    std::string error;
    if (help) {
      if (!WriteToStdout(kUsage, error)) throw Failure{kExitWrite, error};
      return 0;
    }
    if (version) {
      if (!WriteToStdout("marquill 3.3.2\n", error)) throw Failure{kExitWrite, error};
      return 0;
    }
    if (o.command == Command::Entries) ListEntries(*o.settings);
    else Filter(o);
    return 0;
  } catch (const Failure& f) {
    std::fprintf(stderr, "marquill: %s\n", f.message.c_str());
    if (f.hint) std::fprintf(stderr, "Try 'marquill --help' for more information.\n");
    return f.status;
  } catch (const EMarquillError& e) {
    std::fprintf(stderr, "marquill: cannot process the input: %s\n", e.what());
    return kExitBad;
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "marquill: out of memory\n");
    return kExitWrite;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "marquill: %s\n", e.what());
    return kExitWrite;
  }
}

}  // namespace

#ifdef _WIN32
// Arguments arrive as UTF-16 so that symbols and file names outside the ANSI
// code page survive.
int wmain(int argc, wchar_t** argv) {
  PrepareStdio();
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    std::u16string_view w(reinterpret_cast<const char16_t*>(argv[i]), std::wcslen(argv[i]));
    auto u = Utf16ToUtf8(w);
    if (!u) {
      std::fprintf(stderr, "marquill: argument %d is not valid Unicode\n", i);
      return kExitBad;
    }
    args.push_back(std::move(*u));
  }
  return Run(args);
}
#else
int main(int argc, char** argv) {
  PrepareStdio();
  return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif

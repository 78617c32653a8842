// Fuzz target for the filter's command line: arguments drawn from the verbs,
// options, values, dash symbols, captions for --entry and raw bytes. A parse
// either fails cleanly as a usage error or gives options that keep every
// value verbatim, hold together, and come back the same when written out as
// a plain command line and parsed again; symbols are checked as the filter
// takes them.
#include <cstdint>
#include <string>
#include <vector>

#include "Arguments.h"
#include "FuzzKit.h"
#include "Messages.h"

namespace {

const char* const kTokens[] = {
    "insert", "delete", "toggle", "delete-once", "delete-all", "entries", "insert", "bogus",
    "--at", "head", "char", "--at=char", "--lines", "all", "nonblank", "least", "after-blank", "--lines=least",
    "-e", "--symbol", "--symbol=>", "-e>", "-s", "--settings", "--settings=f", "--entry", "--entry=2",
    "--entry=\xE3\x82\xB3\xE3\x83\xA1\xE3\x83\xB3\xE3\x83\x88(&C)", "--settings-encoding", "cp932", "utf-8",
    "-i", "-i.bak", "--in-place", "--in-place=~", "-z", "--null", "-h", "--help", "-V", "--version", "--", "-",
    "->", "-1.", "- ", "--x", "-x", "-ez", "-zi", "FILE", "a b", "", "#", ">", "\t", "\xFF", "a\r\nb", "--ent",
    "--set", "-", "// ", "-\xE3\x83\xBB", "--tab-width", "--tab-width=8", "3", "64", "65", "--keep-indentation",
    "--stdin-only", "--format=json", "--format", "json", "text"};

std::string Show8(const std::vector<std::string>& args) {
  std::string out;
  for (const std::string& a : args) out += "[" + a + "] ";
  return out;
}

[[noreturn]] void FailArgs(const char* what, const std::vector<std::string>& args) { Fail(what, Widen(Show8(args)), u"", u""); }

std::optional<TFilterOptions> Parse(const std::vector<std::string>& args) {
  try {
    return ParseArguments(args);
  } catch (const TFailure& f) {
    if (f.Status != kExitBad || f.Message.empty()) FailArgs("ParseArguments fails", args);
    return std::nullopt;
  }
}

bool Same(const TFilterOptions& a, const TFilterOptions& b) {
  return a.Verb == b.Verb && a.Help == b.Help && a.Version == b.Version && a.Position == b.Position &&
         a.Target == b.Target && a.TabWidth == b.TabWidth && a.KeepIndentation == b.KeepIndentation &&
         a.StdinOnly == b.StdinOnly && a.Json == b.Json && a.Symbols == b.Symbols && a.Settings == b.Settings &&
         a.FromSettings == b.FromSettings && a.Entry == b.Entry && a.SettingsEncoding == b.SettingsEncoding &&
         a.InPlace == b.InPlace && a.BackupSuffix == b.BackupSuffix && a.Null == b.Null && a.Files == b.Files;
}

// The options written out in one plain form: every value joined to its
// option, the files after "--".
std::vector<std::string> Written(const TFilterOptions& o, const std::string& verb) {
  std::vector<std::string> a{verb};
  if (o.Verb == TVerb::Insert || o.Verb == TVerb::Toggle) {
    a.push_back(o.Position == ipLineHead ? "--at=head" : "--at=char");
    static const char* const kLines[] = {"--lines=all", "--lines=nonblank", "--lines=least", "--lines=after-blank"};
    a.push_back(kLines[o.Target]);
    a.push_back("--tab-width=" + std::to_string(o.TabWidth));
  }
  if (o.Verb == TVerb::Insert && o.KeepIndentation) a.push_back("--keep-indentation");
  if (o.StdinOnly) a.push_back("--stdin-only");
  if (o.Json) a.push_back("--format=json");
  if (!o.FromSettings)
    for (const std::string& s : o.Symbols) a.push_back("--symbol=" + s);
  if (o.Settings) a.push_back("--settings=" + *o.Settings);
  if (o.Entry) a.push_back("--entry=" + *o.Entry);
  if (o.FromSettings) {
    static const char* const kEncodings[] = {"auto", "utf-8", "cp932"};
    a.push_back(std::string("--settings-encoding=") + kEncodings[static_cast<int>(o.SettingsEncoding)]);
  }
  if (o.InPlace) a.push_back("--in-place=" + o.BackupSuffix);
  if (o.Null) a.push_back("--null");
  a.push_back("--");
  a.insert(a.end(), o.Files.begin(), o.Files.end());
  return a;
}

// A value the options hold is an argument, or the end of one ("-e>", "--entry=2").
bool FromArguments(const std::string& v, const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a.size() >= v.size() && a.compare(a.size() - v.size(), v.size(), v) == 0) return true;
  return false;
}

void CheckOptions(const TFilterOptions& o, const std::vector<std::string>& args) {
  const bool oneSymbol = o.Verb == TVerb::Insert || o.Verb == TVerb::Delete || o.Verb == TVerb::Toggle;
  bool holds = args[0] != "entries" || o.Verb == TVerb::Entries;
  if (oneSymbol) holds = holds && o.FromSettings == o.Entry.has_value() && o.Symbols.size() == (o.Entry ? 0 : 1);
  if (o.Verb == TVerb::DeleteOnce || o.Verb == TVerb::DeleteAll) holds = holds && o.FromSettings == o.Symbols.empty();
  if (o.Verb == TVerb::Entries) holds = holds && o.FromSettings && o.Files.empty() && o.Symbols.empty();
  if (o.InPlace) holds = holds && !o.Files.empty() && !o.StdinOnly;
  if (o.StdinOnly) holds = holds && o.Files.empty();
  holds = holds && o.TabWidth >= 1 && o.TabWidth <= 64 && !(o.Null && o.Json);
  if (o.Verb == TVerb::Toggle) holds = holds && o.KeepIndentation;
  for (const std::string& f : o.Files) holds = holds && !(o.InPlace && f == "-") && FromArguments(f, args);
  for (const std::string& s : o.Symbols) holds = holds && FromArguments(s, args);
  if (o.Entry) holds = holds && FromArguments(*o.Entry, args);
  if (o.Settings) holds = holds && !o.Settings->empty() && FromArguments(*o.Settings, args);
  if (!holds) FailArgs("options hold together", args);
  const std::optional<TFilterOptions> again = Parse(Written(o, args[0]));
  if (!again || !Same(*again, o)) FailArgs("written out and parsed again", args);
}

// A symbol is taken when it is UTF-8, not empty, with no tab or line break.
void CheckSymbol(const std::string& s) {
  u16 expected;
  const bool ok = !s.empty() && !Utf8Ref(s, expected) && expected.find_first_of(u"\t\r\n") == u16::npos;
  try {
    const u16 got = SymbolFromArgument(s);
    if (!ok) Fail("SymbolFromArgument takes", Widen(s), got, u"");
    Check("SymbolFromArgument", Widen(s), got, expected);
  } catch (const TFailure& f) {
    if (ok || f.Status != kExitBad) Fail("SymbolFromArgument refuses", Widen(s), Widen(f.Message), expected);
  }
}

}  // namespace

// Each byte picks a token; 0xFF takes the next byte as a length and that many
// raw bytes, without NULs, as one argument.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in{data, size};
  std::vector<std::string> args;
  while (in.N > 0 && args.size() < 24) {
    const uint8_t b = in.Byte();
    if (b == 0xFF) {
      std::string raw = in.Bytes(in.Byte() % 16);
      std::erase(raw, '\0');  // no argument holds a NUL
      args.push_back(raw);
    }
    else args.push_back(kTokens[b % (sizeof kTokens / sizeof *kTokens)]);
  }
  const std::optional<TFilterOptions> o = Parse(args);
  const std::optional<TFilterOptions> again = Parse(args);
  if (o.has_value() != again.has_value() || (o && !Same(*o, *again))) FailArgs("parsed twice", args);
  if (!o || o->Help || o->Version) return 0;
  CheckOptions(*o, args);
  for (const std::string& s : o->Symbols) CheckSymbol(s);
  std::vector<u16> symbols;
  for (const std::string& s : o->Symbols) symbols.push_back(Widen(s));
  const TEdit edit = EditOfOptions(*o, symbols);
  const bool given = o->Verb != TVerb::DeleteOnce && o->Verb != TVerb::DeleteAll;
  if (given ? (edit.Symbols.size() != 0 || (!symbols.empty() && edit.Symbol != symbols[0])) : edit.Symbols != symbols)
    FailArgs("EditOfOptions symbols", args);
  if (edit.Position != o->Position || edit.Target != o->Target || edit.Indent.TabWidth != o->TabWidth ||
      edit.Indent.Keep != o->KeepIndentation)
    FailArgs("EditOfOptions place", args);
  return 0;
}

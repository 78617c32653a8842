// The filter's command line: the verb, its options and operands, parsed with
// getopt_long, and the edit they name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "EditUnit.h"
#include "OptionTable.h"

enum class TSettingsEncoding { Auto, Utf8, Cp932 };

struct TFilterOptions {
  TVerb Verb = TVerb::Insert;
  bool Help = false;
  bool Version = false;
  TInsertPosition Position = ipLineHead;
  TTargetLines Target = tlAll;
  size_t TabWidth = kPluginTabWidth;    // --tab-width N
  bool KeepIndentation = false;         // --keep-indentation, and always for toggle
  bool StdinOnly = false;               // --stdin-only: no FILE, no -i, no hints for the shell
  bool Json = false;                    // entries --format=json
  std::vector<std::string> Symbols;     // the SYMBOL operand or each -e, as given
  std::optional<std::string> Settings;  // --settings FILE
  bool FromSettings = false;            // symbols from --settings FILE, or else the default settings file
  std::optional<std::string> Entry;     // --entry N|CAPTION
  TSettingsEncoding SettingsEncoding = TSettingsEncoding::Auto;
  bool InPlace = false;
  std::string BackupSuffix;             // -iSUFFIX; empty: no backup
  bool Null = false;                    // entries: records end with NUL
  std::vector<std::string> Files;       // "-" is standard input; none: standard input
};

// The arguments after the program name. Throws TFailure (status 2, with the
// hint to --help) on a usage error; --help and --version win over any.
TFilterOptions ParseArguments(const std::vector<std::string>& Args);

// A symbol given on the command line, checked: UTF-8, not empty, no tab or
// line break. Throws TFailure otherwise.
std::u16string SymbolFromArgument(const std::string& Argument);

// The edit of the options with the symbols to use (from the command line or
// the settings file): one for insert, delete and toggle, all of them for the
// others. Toggle gives its insertion; ToggleEdit turns it into the edit chosen.
TEdit EditOfOptions(const TFilterOptions& Options, std::vector<std::u16string> Symbols);

// The edit that toggle makes with Choice, from the insertion EditOfOptions gives.
TEdit ToggleEdit(TEdit Insertion, TToggleChoice Choice);

// The --help text, in the user's language.
std::string UsageText();

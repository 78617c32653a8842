// The filter's verbs and options, declared once: getopt_long's table, which
// verb takes which option, the values of each, their lines in --help, and
// the listing that shell completion and the editor plug-ins read.
#pragma once

#include <getopt.h>

#include <span>
#include <string>

#include "EditUnit.h"

enum class TVerb { Insert, Delete, DeleteOnce, DeleteAll, Toggle, Entries };

// Where a verb's symbols come from.
enum class TSymbolSource {
  One,                // a SYMBOL operand, one -e, or --entry from the settings file
  GivenOrSettings,    // each -e, or else every entry of the settings file
  Settings,           // the settings file
};

struct TVerbName {
  TVerb Verb;
  const char* Name;
  TSymbolSource Symbols;
  bool TakesFiles;  // FILE operands follow
  // The edit it makes: toggle's is the insertion that its choice may turn
  // into a deletion; entries lists the symbols that delete-all takes.
  TEditKind Kind;
};
// The verbs in the order they are listed.
std::span<const TVerbName> Verbs();
const char* VerbName(TVerb Verb);
// The first verb of the table that makes edits of Kind.
TVerb VerbOfKind(TEditKind Kind);

// What getopt_long gives for the options that have no letter.
enum : int {
  kOptAt = 256,
  kOptLines,
  kOptEntry,
  kOptSettingsEncoding,
  kOptTabWidth,
  kOptKeepIndentation,
  kOptStdinOnly,
  kOptFormat,
};

struct TOptionSpec {
  const char* Name;  // the long name, without the dashes
  char Letter;       // the short name, or 0
  int Argument;      // no_argument, required_argument or optional_argument
  int Code;          // what getopt_long gives: Letter, or one of kOpt*
  // The values it takes, in the order of the enumeration they stand for;
  // none: any value (or none).
  std::span<const char* const> Values;
  // The values as error messages name them ("head or char"), for N_().
  const char* ValuesText;
  unsigned VerbMask;  // bit 1 << TVerb of each verb that takes it
  const char* Help;   // its lines in --help, for N_()
};

// A value that a verb gives an option the command line does not give.
struct TVerbDefault {
  TVerb Verb;
  int Code;           // the option, as getopt_long gives it
  const char* Value;  // its value; "" for an option without one
};

// Every option, in the order --help and the listing give them.
std::span<const TOptionSpec> Options();
// The option getopt_long gave as Code.
const TOptionSpec& OptionOfCode(int Code);
bool VerbTakes(TVerb Verb, const TOptionSpec& Option);
const TVerbName& VerbOf(TVerb Verb);
// The values Verb gives options left out.
std::span<const TVerbDefault> VerbDefaults();
// The index in Option.Values of Value, or -1.
int ValueIndex(const TOptionSpec& Option, const std::string& Value);

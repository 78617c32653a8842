// The filter's use of a settings file: its bytes decoded, its valid entries,
// one entry picked as the menu picks it, and the entries listed for scripts.
#pragma once

#include <string>
#include <string_view>

#include "Arguments.h"
#include "StringRecordList.h"

// The text of a settings file's bytes: a byte order mark decides; without
// one, Encoding does (auto: valid UTF-8 is UTF-8, anything else code page
// 932). Throws TFailure (status 2) naming Path when the bytes are not text
// of the chosen encoding.
std::u16string DecodeSettingsText(std::string_view Bytes, TSettingsEncoding Encoding, const std::string& Path);

// The valid entries of the file at Path, in file order. Throws TFailure when
// it cannot be read or decoded, or holds no valid entry.
void LoadSettingsEntries(const std::string& Path, TSettingsEncoding Encoding, TCommonStringRecordList& Entries);

// The symbol of the entry that Choice names: its number (from 1) among the
// valid entries, or else its caption as the menu shows it or as entries
// prints it. Throws TFailure.
std::u16string SymbolOfChosenEntry(const TCommonStringRecordList& Entries, const std::string& Choice);

// One record per entry: the symbol, a tab, the caption, each with tab, CR,
// LF and backslash written as \t, \r, \n, \\; records end with LF, or NUL.
std::string FormatEntries(const TCommonStringRecordList& Entries, bool Null);

// Deleting head symbols: a symbol is taken off a line only right after its
// indentation, as an exact match of the symbol or of the symbol trimmed.
#pragma once

#include <string>
#include <string_view>

#include "StringRecordList.h"

// The line without the entry's symbol (or its trimmed form) at its first
// non-indentation character, or the line unchanged. Never touches the break.
std::u16string DeleteHeadSymbolFromLine(std::u16string_view Line, std::u16string_view Entry);
// Every line of Text passed through DeleteHeadSymbolFromLine with Entry.
std::u16string DeleteSpecifiedHeadSymbol(std::u16string_view Text, std::u16string_view Entry);
// One pass: every line, every entry in list order, each entry working on what
// the one before it left.
std::u16string DeleteHeadSymbolsOnce(std::u16string_view Text, const TCommonStringRecordList& Entries);
// DeleteHeadSymbolsOnce repeated until its result equals its input.
std::u16string DeleteHeadSymbolsAll(std::u16string_view Text, const TCommonStringRecordList& Entries);

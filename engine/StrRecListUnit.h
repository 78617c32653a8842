// Inserting a head symbol into the lines of a text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Where the symbol goes in a line: before everything, or at the column of
// the least indentation of the text.
enum TInsertPosition : uint8_t { ipLineHead = 0, ipFirstChar = 1 };

// Which lines receive the symbol: all, the non-blank ones, the non-blank ones
// of least indentation, or the first non-blank line of each paragraph.
enum TTargetLines : uint8_t { tlAll = 0, tlNonBlank = 1, tlLeastIndent = 2, tlAfterBlank = 3 };

// The text with Symbol inserted verbatim into the chosen lines. Lines keep
// their own breaks; lines not chosen come back unchanged. An empty Text gives
// Symbol alone. Position or Target values outside the enumerations choose no
// line, so the text comes back unchanged.
std::u16string InsertHeadSymbol(std::u16string_view Text, std::u16string_view Symbol, TInsertPosition Position,
                                TTargetLines Target);

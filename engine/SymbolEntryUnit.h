// Symbol entries: one settings line, a head symbol and a menu caption
// separated by tabs.
#pragma once

#include <string>
#include <string_view>

// True when the entry has exactly two non-empty tab-separated fields.
bool IsValidEntry(std::u16string_view Entry);
// The first field, verbatim (never trimmed, never decoded). The empty string
// for an entry that has no field at all.
std::u16string SymbolOfEntry(std::u16string_view Entry);
// The second field without trailing characters of code U+0020 or less, with
// its escapes decoded. The empty string for an entry without a second field.
std::u16string CaptionOfEntry(std::u16string_view Entry);
// The second field as the file holds it, without the line break that ends
// the entry: neither trimmed nor decoded.
std::u16string CaptionFieldOfEntry(std::u16string_view Entry);
// \r \n \t (any letter case) and \\ become CR, LF, tab and one backslash;
// any other backslash is dropped.
std::u16string DecodeEscapes(std::u16string_view S);

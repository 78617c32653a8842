// The edit model: one description of what the plug-in's menu and the filter's
// verbs do to a text, and the one function that applies it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "StrRecListUnit.h"
#include "StringRecordList.h"

enum TEditKind : uint8_t {
  ekInsert = 0,       // InsertHeadSymbol with Symbol, Position and Target
  ekDeleteGiven = 1,  // take Symbol (or its trimmed form) off the head of every line
  ekDeleteOnce = 2,   // one pass with every symbol of Symbols, in order
  ekDeleteAll = 3,    // such passes until nothing changes
};

struct TEdit {
  TEditKind Kind = ekInsert;
  TInsertPosition Position = ipLineHead;
  TTargetLines Target = tlAll;
  std::u16string Symbol;                // ekInsert, ekDeleteGiven
  std::vector<std::u16string> Symbols;  // ekDeleteOnce, ekDeleteAll
};

// The text after the edit. Pure: keeps nothing, shows nothing.
std::u16string ApplyEdit(std::u16string_view Text, const TEdit& Edit);

// True when the edit of every line depends on that line alone, so that a text
// can be edited piece by piece (whole lines each) with the same result:
// every deletion, and insertion at the line head in all or in the non-blank
// lines. The others look at other lines too (paragraph starts, the least
// indentation of the whole text).
bool EditWorksLineByLine(const TEdit& Edit);

// Fills Entries with the lines of SettingsText that are valid symbol
// entries, in file order (the settings text as the menu and the filter use it).
void SetValidEntries(TCommonStringRecordList& Entries, std::u16string_view SettingsText);
// Deletes every entry that is not valid, from the last to the first.
void DropInvalidEntries(TCommonStringRecordList& Entries);
// The symbols of Entries, in list order.
std::vector<std::u16string> SymbolsOfEntries(const TCommonStringRecordList& Entries);

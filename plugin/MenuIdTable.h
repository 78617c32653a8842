// The command's menu ids and what each one does: the one table of the id
// ranges, read to build the popup menu, to dispatch the choice and by tests.
#pragma once

#include <array>
#include <cstdint>
#include <iterator>

#include "EditUnit.h"
#include "MenuItems.h"
#include "StringRecordList.h"

constexpr int32_t ID_CANCEL = 1000;
constexpr int32_t ID_DELETE_ONE = 1001;
constexpr int32_t ID_DELETE_ALL = 1002;
constexpr int32_t ID_EDIT_SETTINGS = 1003;
constexpr int32_t ID_HEAD_ALL = 2000;
constexpr int32_t ID_HEAD_SKIP_BLANK = 3000;
constexpr int32_t ID_HEAD_LEAST_INDENT = 4000;
constexpr int32_t ID_HEAD_AFTER_BLANK = 5000;
constexpr int32_t ID_CHAR_ALL = 6000;
constexpr int32_t ID_CHAR_SKIP_BLANK = 7000;
constexpr int32_t ID_CHAR_LEAST_INDENT = 8000;
constexpr int32_t ID_CHAR_AFTER_BLANK = 9000;
constexpr int32_t ID_DELETE_GIVEN = 10000;

// Entry ranges are this far apart, so that every id names exactly one
// action and one entry.
constexpr int32_t MenuRangeSize = MenuEntryLimit;

// The first id of each menu item, in the order of MenuItems.
inline constexpr int32_t MenuItemIds[] = {
    ID_HEAD_ALL,      ID_HEAD_SKIP_BLANK, ID_HEAD_LEAST_INDENT, ID_HEAD_AFTER_BLANK, ID_CHAR_ALL,
    ID_CHAR_SKIP_BLANK, ID_CHAR_LEAST_INDENT, ID_CHAR_AFTER_BLANK, ID_DELETE_ONE,   ID_DELETE_ALL,
    ID_DELETE_GIVEN,  ID_EDIT_SETTINGS,   ID_CANCEL,
};
static_assert(std::size(MenuItemIds) == std::size(MenuItems));

// A menu item with its first id: a per-entry item's item i has id Id + i.
struct TMenuIdRange : TMenuItem {
  int32_t Id = 0;
};

inline constexpr auto MenuIdTable = [] {
  std::array<TMenuIdRange, std::size(MenuItems)> table{};
  for (size_t i = 0; i < table.size(); ++i) {
    static_cast<TMenuItem&>(table[i]) = MenuItems[i];
    table[i].Id = MenuItemIds[i];
  }
  return table;
}();
static_assert(MenuIdTable[10].Kind == ekDeleteGiven && MenuIdTable[10].Id == ID_DELETE_GIVEN);
static_assert(MenuIdTable[11].Action == maEditSettings && MenuIdTable[12].Action == maCancel);

// The ids of any two rows lie apart: a per-entry row's range of
// MenuRangeSize ids ends before any later id, and a single item's id is
// taken by no range.
constexpr bool MenuIdsApart() {
  for (const TMenuIdRange& a : MenuIdTable)
    for (const TMenuIdRange& b : MenuIdTable) {
      const int32_t aEnd = a.Id + (a.PerEntry ? MenuRangeSize : 1);
      const int32_t bEnd = b.Id + (b.PerEntry ? MenuRangeSize : 1);
      if (&a != &b && a.Id < bEnd && b.Id < aEnd) return false;
    }
  return true;
}
static_assert(MenuIdsApart(), "menu id ranges overlap");

// How many entries each entry submenu lists for a list of count entries.
constexpr int32_t ListedEntryCount(int32_t count) { return count < MenuRangeSize ? count : MenuRangeSize; }

// The row of the table that holds id when Entries are listed, and the
// entry's index for a per-entry row (-1 otherwise); null when the menu has no
// such id (0, the dismissed menu, among them).
const TMenuIdRange* MenuRowOfId(int32_t Id, int32_t EntryCount, int32_t* EntryIndex);

// What the chosen id asks for.
struct TMenuChoice {
  TMenuAction Action = maCancel;
  bool HasEdit = false;  // false: an id no item has, which edits nothing
  TEdit Edit;
};
// The choice for id with the (valid) Entries that the menu listed: the edit
// takes its symbol from the chosen entry, a pass over a list every symbol of
// Entries (also those beyond the listed ones).
TMenuChoice MenuChoiceOfId(int32_t Id, const TCommonStringRecordList& Entries);

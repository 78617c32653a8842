// Menu ids against the edits they choose: every id of every listed item names
// one row and one entry, no id is claimed twice, and an id off the menu edits nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <tuple>

#include "MenuIdTable.h"

namespace {

// Settings entries "s0\tc0", "s1\tc1", ...
void FillEntries(TCommonStringRecordList& list, int32_t count) {
  for (int32_t i = 0; i < count; ++i) {
    const std::string n = std::to_string(i);
    list.Add(u"s" + std::u16string(n.begin(), n.end()) + u"\tc");
  }
}

}  // namespace

TEST(MenuIdTable, EveryListedItemHasItsOwnIdAndEdit) {
  for (int32_t count : {0, 1, 5, 999, 1000, 1005}) {
    SCOPED_TRACE(count);
    TCommonStringRecordList list;
    FillEntries(list, count);
    const int32_t listed = ListedEntryCount(count);
    const std::vector<std::u16string> symbols = SymbolsOfEntries(list);
    EXPECT_EQ(listed, std::min(count, MenuRangeSize));
    // Ids as the menu gives them to its items, each with the row and entry it stands for.
    std::map<int32_t, std::pair<const TMenuIdRange*, int32_t>> items;
    for (const TMenuIdRange& row : MenuIdTable) {
      for (int32_t i = 0; i < (row.PerEntry ? listed : 1); ++i) {
        const int32_t id = row.Id + (row.PerEntry ? i : 0);
        EXPECT_TRUE(items.emplace(id, std::make_pair(&row, row.PerEntry ? i : -1)).second) << "id " << id << " twice";
      }
    }
    // Every id from 0 past the last range: those of the items dispatch to
    // their own row and entry, all others to an edit of nothing.
    for (int32_t id = 0; id < ID_DELETE_GIVEN + 2 * MenuRangeSize; ++id) {
      const TMenuChoice choice = MenuChoiceOfId(id, list);
      const auto item = items.find(id);
      if (item == items.end()) {
        ASSERT_EQ(choice.Action, maEdit) << id;
        ASSERT_FALSE(choice.HasEdit) << id;
        continue;
      }
      const TMenuIdRange& row = *item->second.first;
      ASSERT_EQ(choice.Action, row.Action) << id;
      ASSERT_EQ(choice.HasEdit, row.Action == maEdit) << id;
      if (!choice.HasEdit) continue;
      ASSERT_EQ(choice.Edit.Kind, row.Kind) << id;
      if (row.Kind == ekInsert) {
        ASSERT_EQ(choice.Edit.Position, row.Position) << id;
        ASSERT_EQ(choice.Edit.Target, row.Target) << id;
      }
      if (row.PerEntry) {
        ASSERT_EQ(choice.Edit.Symbol, symbols[static_cast<size_t>(item->second.second)]) << id;
      } else {
        // A pass over the list uses every entry, also beyond the listed ones.
        ASSERT_EQ(choice.Edit.Symbols.size(), static_cast<size_t>(count)) << id;
      }
    }
  }
}

TEST(MenuIdTable, RowsCoverEveryAction) {
  // Each kind of edit and position/target pair is reachable, and the two
  // other actions exist once.
  std::map<std::tuple<int, int, int>, int> inserts;
  std::map<int, int> others;
  for (const TMenuIdRange& row : MenuIdTable) {
    if (row.Action != maEdit) ++others[100 + row.Action];
    else if (row.Kind == ekInsert) ++inserts[{row.Kind, row.Position, row.Target}];
    else ++others[row.Kind];
  }
  EXPECT_EQ(inserts.size(), 8u);
  for (const auto& [key, n] : inserts) EXPECT_EQ(n, 1);
  EXPECT_EQ(others, (std::map<int, int>{{ekDeleteGiven, 1}, {ekDeleteOnce, 1}, {ekDeleteAll, 1},
                                        {100 + maEditSettings, 1}, {100 + maCancel, 1}}));
}

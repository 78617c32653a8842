// Dispatching a menu id to what it asks for, through the menu id table.
#include "MenuIdTable.h"

#include "SymbolEntryUnit.h"

const TMenuIdRange* MenuRowOfId(int32_t Id, int32_t EntryCount, int32_t* EntryIndex) {
  const int32_t listed = ListedEntryCount(EntryCount);
  for (const TMenuIdRange& row : MenuIdTable) {
    const int64_t i = static_cast<int64_t>(Id) - row.Id;
    if (row.PerEntry ? (i >= 0 && i < listed) : i == 0) {
      if (EntryIndex) *EntryIndex = row.PerEntry ? static_cast<int32_t>(i) : -1;
      return &row;
    }
  }
  return nullptr;
}

TMenuChoice MenuChoiceOfId(int32_t Id, const TCommonStringRecordList& Entries) {
  TMenuChoice choice;
  int32_t index = -1;
  const TMenuIdRange* row = MenuRowOfId(Id, Entries.Count(), &index);
  if (!row) {
    choice.Action = maEdit;  // an id no item has: the selection is handled, nothing written
    return choice;
  }
  choice.Action = row->Action;
  if (row->Action != maEdit) return choice;
  choice.HasEdit = true;
  choice.Edit.Kind = row->Kind;
  choice.Edit.Position = row->Position;
  choice.Edit.Target = row->Target;
  if (row->PerEntry)
    choice.Edit.Symbol = SymbolOfEntry(Entries.Item(index));
  else
    choice.Edit.Symbols = SymbolsOfEntries(Entries);
  return choice;
}

// The command's menu ids and what each one does: the one table of the id
// ranges, read to build the popup menu, to dispatch the choice and by tests.
#pragma once

#include <cstdint>

#include "EditUnit.h"
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

// Entry ranges are this far apart, so each entry submenu lists at most this
// many entries; every id then names exactly one action and one entry.
constexpr int32_t MenuRangeSize = 1000;

enum TMenuAction : uint8_t {
  maEdit = 0,          // an edit of the selected lines
  maEditSettings = 1,  // open the settings file in the host editor
  maCancel = 2,        // nothing
};

// One item of the popup menu, in menu order. Group is the caption of the
// top-level submenu that holds it (null: the item is on the top level). A
// per-entry row is a submenu captioned Caption whose item i has id Id + i
// and edits with entry i.
struct TMenuIdRange {
  int32_t Id = 0;
  bool PerEntry = false;
  const char16_t* Group = nullptr;
  const char16_t* Caption = nullptr;
  TMenuAction Action = maCancel;
  TEditKind Kind = ekInsert;
  TInsertPosition Position = ipLineHead;
  TTargetLines Target = tlAll;
};

inline constexpr TMenuIdRange MenuIdTable[] = {
    {ID_HEAD_ALL, true, u"行頭に挿入", u"全ての行", maEdit, ekInsert, ipLineHead, tlAll},
    {ID_HEAD_SKIP_BLANK, true, u"行頭に挿入", u"空白行を除く", maEdit, ekInsert, ipLineHead, tlNonBlank},
    {ID_HEAD_LEAST_INDENT, true, u"行頭に挿入", u"最小インデント行のみ", maEdit, ekInsert, ipLineHead, tlLeastIndent},
    {ID_HEAD_AFTER_BLANK, true, u"行頭に挿入", u"空白行の次の行のみ", maEdit, ekInsert, ipLineHead, tlAfterBlank},
    {ID_CHAR_ALL, true, u"文字先頭位置に挿入", u"全ての行", maEdit, ekInsert, ipFirstChar, tlAll},
    {ID_CHAR_SKIP_BLANK, true, u"文字先頭位置に挿入", u"空白行を除く", maEdit, ekInsert, ipFirstChar, tlNonBlank},
    {ID_CHAR_LEAST_INDENT, true, u"文字先頭位置に挿入", u"最小インデント行のみ", maEdit, ekInsert, ipFirstChar,
     tlLeastIndent},
    {ID_CHAR_AFTER_BLANK, true, u"文字先頭位置に挿入", u"空白行の次の行のみ", maEdit, ekInsert, ipFirstChar,
     tlAfterBlank},
    {ID_DELETE_ONE, false, u"先頭文字を削除", u"1つ削除", maEdit, ekDeleteOnce, ipLineHead, tlAll},
    {ID_DELETE_ALL, false, u"先頭文字を削除", u"全て削除", maEdit, ekDeleteAll, ipLineHead, tlAll},
    {ID_DELETE_GIVEN, true, u"先頭文字を削除", u"指定して削除", maEdit, ekDeleteGiven, ipLineHead, tlAll},
    {ID_EDIT_SETTINGS, false, nullptr, u"設定編集", maEditSettings, ekInsert, ipLineHead, tlAll},
    {ID_CANCEL, false, nullptr, u"キャンセル", maCancel, ekInsert, ipLineHead, tlAll},
};

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

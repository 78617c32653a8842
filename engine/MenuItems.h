// The plug-in's popup menu as data: its items in menu order, the group and
// caption of each and the edit it makes. The plug-in gives them their ids;
// the filter lists them for the editor plug-ins.
#pragma once

#include <cstdint>

#include "EditUnit.h"

// Each entry submenu lists at most this many entries.
constexpr int32_t MenuEntryLimit = 1000;

enum TMenuAction : uint8_t {
  maEdit = 0,          // an edit of the selected lines
  maEditSettings = 1,  // open the settings file in the host editor
  maCancel = 2,        // nothing
};

// One item of the popup menu. Group is the caption of the top-level submenu
// that holds it (null: the item is on the top level). A per-entry item is a
// submenu captioned Caption whose item i edits with entry i.
struct TMenuItem {
  bool PerEntry = false;
  const char16_t* Group = nullptr;
  const char16_t* Caption = nullptr;
  TMenuAction Action = maCancel;
  TEditKind Kind = ekInsert;
  TInsertPosition Position = ipLineHead;
  TTargetLines Target = tlAll;
};

inline constexpr TMenuItem MenuItems[] = {
    {true, u"行頭に挿入", u"全ての行", maEdit, ekInsert, ipLineHead, tlAll},
    {true, u"行頭に挿入", u"空白行を除く", maEdit, ekInsert, ipLineHead, tlNonBlank},
    {true, u"行頭に挿入", u"最小インデント行のみ", maEdit, ekInsert, ipLineHead, tlLeastIndent},
    {true, u"行頭に挿入", u"空白行の次の行のみ", maEdit, ekInsert, ipLineHead, tlAfterBlank},
    {true, u"文字先頭位置に挿入", u"全ての行", maEdit, ekInsert, ipFirstChar, tlAll},
    {true, u"文字先頭位置に挿入", u"空白行を除く", maEdit, ekInsert, ipFirstChar, tlNonBlank},
    {true, u"文字先頭位置に挿入", u"最小インデント行のみ", maEdit, ekInsert, ipFirstChar, tlLeastIndent},
    {true, u"文字先頭位置に挿入", u"空白行の次の行のみ", maEdit, ekInsert, ipFirstChar, tlAfterBlank},
    {false, u"先頭文字を削除", u"1つ削除", maEdit, ekDeleteOnce, ipLineHead, tlAll},
    {false, u"先頭文字を削除", u"全て削除", maEdit, ekDeleteAll, ipLineHead, tlAll},
    {true, u"先頭文字を削除", u"指定して削除", maEdit, ekDeleteGiven, ipLineHead, tlAll},
    {false, nullptr, u"設定編集", maEditSettings, ekInsert, ipLineHead, tlAll},
    {false, nullptr, u"キャンセル", maCancel, ekInsert, ipLineHead, tlAll},
};

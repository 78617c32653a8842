// Marquill.dll: the exported entries the host editor calls, and the menu ids
// of the command's popup menu.
#pragma once

#include <windows.h>

#include <cstdint>

#include "StrRecListUnit.h"

// Menu ids. A range entry's id is its base plus the entry's index in the
// filtered symbol list.
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

// Ranges are this far apart, so each entry submenu lists at most this many
// entries; every id then names exactly one action and one entry.
constexpr int32_t MenuRangeSize = 1000;

// The menu id table: the bases of the entry ranges in dispatch order.
struct TMenuIdRange {
  int32_t Base;
  TInsertPosition Position;
  TTargetLines Target;
};
inline constexpr TMenuIdRange MenuIdTable[] = {
    {ID_HEAD_ALL, ipLineHead, tlAll},
    {ID_HEAD_SKIP_BLANK, ipLineHead, tlNonBlank},
    {ID_HEAD_LEAST_INDENT, ipLineHead, tlLeastIndent},
    {ID_HEAD_AFTER_BLANK, ipLineHead, tlAfterBlank},
    {ID_CHAR_ALL, ipFirstChar, tlAll},
    {ID_CHAR_SKIP_BLANK, ipFirstChar, tlNonBlank},
    {ID_CHAR_LEAST_INDENT, ipFirstChar, tlLeastIndent},
    {ID_CHAR_AFTER_BLANK, ipFirstChar, tlAfterBlank},
};

// Answers of PlugInProc.
constexpr UINT PLUGIN_QUERY_NAME = 2306;
constexpr UINT PLUGIN_QUERY_VERSION = 2308;
constexpr UINT PLUGIN_QUERY_2310 = 2310;
constexpr UINT PLUGIN_QUERY_UNINSTALL = 2311;

// Event bits of OnEvents.
constexpr UINT EVENT_STORE_NUMBER = 0x400;
constexpr UINT EVENT_REPLY_NUMBER = 0x40;

// The exports, undecorated, in ordinal order 1 to 7.
extern "C" {
void __stdcall OnCommand(HWND hwnd);
BOOL __stdcall QueryStatus(HWND hwnd, void* status);
void __stdcall OnEvents(HWND hwnd, UINT flags, LPARAM param);
DWORD __stdcall GetMenuTextID();
DWORD __stdcall GetStatusMessageID();
DWORD __stdcall GetBitmapID();
LRESULT __stdcall PlugInProc(HWND hwnd, UINT query, WPARAM wParam, LPARAM lParam);
}

// Types for a host that finds the exports with GetProcAddress.
using TOnCommand = void(__stdcall*)(HWND);
using TQueryStatus = BOOL(__stdcall*)(HWND, void*);
using TOnEvents = void(__stdcall*)(HWND, UINT, LPARAM);
using TGetResourceID = DWORD(__stdcall*)();
using TPlugInProc = LRESULT(__stdcall*)(HWND, UINT, WPARAM, LPARAM);

// Marquill.dll: the exported entries the host editor calls and the answers
// and events they know (the menu ids are in MenuIdTable.h).
#pragma once

#include <windows.h>

#include <cstdint>

#include "MenuIdTable.h"

// Answers of PlugInProc.
constexpr UINT PLUGIN_QUERY_NAME = 2306;
constexpr UINT PLUGIN_QUERY_VERSION = 2308;
constexpr UINT PLUGIN_QUERY_2310 = 2310;
// The answer to query 2310, whose use is the host's own affair.
constexpr LRESULT PLUGIN_QUERY_2310_ANSWER = 1;
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

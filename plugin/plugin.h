// The host editor's window messages: numbers, records and one thin wrapper
// per message. Every wrapper sends synchronously to the given window and
// returns the host's answer; callers never check it.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

constexpr UINT HOST_QUERY_COMMAND_STATUS = 2049;
constexpr UINT HOST_EVENT_REPLY = 2050;
constexpr UINT HOST_GET_LINE_COUNT = 2052;
constexpr UINT HOST_GET_CARET_POS = 2054;
constexpr UINT HOST_GET_SCROLL_POS = 2057;
constexpr UINT HOST_CONVERT_POS = 2062;
constexpr UINT HOST_SET_CARET_POS = 2066;
constexpr UINT HOST_SET_SCROLL_POS = 2067;
constexpr UINT HOST_RUN_COMMAND = 2070;
constexpr UINT HOST_GET_SEL_START = 2074;
constexpr UINT HOST_GET_SEL_END = 2075;
constexpr UINT HOST_SELECT_CHARS = 2076;
constexpr UINT HOST_SET_SELECTION = 2081;
constexpr UINT HOST_SET_REDRAW = 2092;
constexpr UINT HOST_GET_SEL_TYPE = 2093;
constexpr UINT HOST_GET_SEL_TEXT = 2094;
constexpr UINT HOST_GET_LINE_TEXT = 2095;
constexpr UINT HOST_INSERT_TEXT = 2100;
constexpr UINT HOST_READ_SETTING = 2134;

// Position kinds (wParam of the position messages).
constexpr int32_t POS_DEFAULT = 0;  // the host's own form: only read and handed back
constexpr int32_t POS_LOGICAL = 2;  // lines by their breaks, columns in UTF-16 units, from 0

// Host command numbers. What the host does with them is its own affair; the
// plug-in only sends them.
// Asked through HOST_QUERY_COMMAND_STATUS by QueryStatus: may the command run?
constexpr int32_t HOST_COMMAND_PLUGIN_STATUS = 4201;
// Run through HOST_RUN_COMMAND after an edit made with nothing selected,
// before the caret is put back.
constexpr int32_t HOST_COMMAND_AFTER_EDIT = 4187;

struct HostPos {
  int32_t x = 0;  // column
  int32_t y = 0;  // line
};
inline bool operator==(const HostPos& a, const HostPos& b) { return a.x == b.x && a.y == b.y; }

struct HostLineRequest {
  int32_t size = 0;   // buffer size in UTF-16 units, 0 when asking for the size
  int32_t flags = 0;  // 1 in every request the plug-in sends
  int32_t line = 0;   // POS_LOGICAL line number
};

// Read with HOST_GET_SCROLL_POS and handed back unchanged.
struct HostScrollValue {
  int32_t first = 0;
  int32_t second = 0;
};

// The plug-in folder request of HOST_READ_SETTING: the setting's name, the
// first host-defined word and the kind of value, in the host's own codes.
constexpr wchar_t HOST_PLUGINS_FOLDER_NAME[] = L"PlugInsFolder";
constexpr uint32_t HOST_PLUGINS_FOLDER_WORD1 = 0x7FFFFF00;
constexpr uint32_t HOST_PLUGINS_FOLDER_KIND = 1;

struct HostSettingRequest {
  uint32_t size = 0;                // 32
  uint32_t hostWord1 = 0;           // HOST_PLUGINS_FOLDER_WORD1
  uint32_t hostWord2 = 0;           // 0
  const wchar_t* name = nullptr;    // HOST_PLUGINS_FOLDER_NAME
  uint32_t kind = 0;                // HOST_PLUGINS_FOLDER_KIND
  wchar_t* buffer = nullptr;        // receives the value
  uint32_t* bufferBytes = nullptr;  // buffer size in bytes
  uint32_t hostWord3 = 0;           // 0
};

static_assert(sizeof(HostPos) == 8 && offsetof(HostPos, y) == 4);
static_assert(sizeof(HostLineRequest) == 12 && offsetof(HostLineRequest, flags) == 4 &&
              offsetof(HostLineRequest, line) == 8);
static_assert(sizeof(HostScrollValue) == 8);
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(HostSettingRequest) == 32 && offsetof(HostSettingRequest, hostWord1) == 4 &&
              offsetof(HostSettingRequest, hostWord2) == 8 && offsetof(HostSettingRequest, name) == 12 &&
              offsetof(HostSettingRequest, kind) == 16 && offsetof(HostSettingRequest, buffer) == 20 &&
              offsetof(HostSettingRequest, bufferBytes) == 24 && offsetof(HostSettingRequest, hostWord3) == 28);
#endif

int32_t Host_QueryCommandStatus(HWND hwnd, int32_t command, void* statusPointer);
int32_t Host_EventReply(HWND hwnd, int32_t number);
int32_t Host_GetLineCount(HWND hwnd, int32_t posKind);
int32_t Host_GetCaretPos(HWND hwnd, int32_t posKind, HostPos* pos);
int32_t Host_GetScrollPos(HWND hwnd, HostScrollValue* value);
int32_t Host_ConvertPos(HWND hwnd, HostPos* pos);  // POS_LOGICAL in, the form HOST_SET_SELECTION takes out
int32_t Host_SetCaretPos(HWND hwnd, int32_t posKind, const HostPos* pos);
int32_t Host_SetScrollPos(HWND hwnd, const HostScrollValue* value);
int32_t Host_RunCommand(HWND hwnd, int32_t command);
int32_t Host_GetSelStart(HWND hwnd, int32_t posKind, HostPos* pos);
int32_t Host_GetSelEnd(HWND hwnd, int32_t posKind, HostPos* pos);
int32_t Host_SelectChars(HWND hwnd, int32_t count);
int32_t Host_SetSelection(HWND hwnd, const HostPos* anchor, const HostPos* active);
int32_t Host_SetRedraw(HWND hwnd, bool on);
int32_t Host_GetSelType(HWND hwnd);
int32_t Host_GetSelText(HWND hwnd, int32_t size, wchar_t* buffer);
int32_t Host_GetLineText(HWND hwnd, HostLineRequest* request, wchar_t* buffer);
int32_t Host_InsertText(HWND hwnd, const wchar_t* text);
// Builds the request record itself (size field 32); true when the host answers non-zero.
bool Host_ReadSetting(HWND hwnd, uint32_t hostWord1, uint32_t hostWord2, const wchar_t* name, uint32_t kind,
                      wchar_t* buffer, uint32_t* bufferBytes, uint32_t hostWord3);

// One thin wrapper per host window message.
#include "plugin.h"

namespace {
int32_t Send(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
  return static_cast<int32_t>(SendMessageW(hwnd, msg, w, l));
}
WPARAM W(const void* p) { return reinterpret_cast<WPARAM>(p); }
LPARAM L(const void* p) { return reinterpret_cast<LPARAM>(p); }
}  // namespace

int32_t Host_QueryCommandStatus(HWND hwnd, int32_t command, void* statusPointer) {
  return Send(hwnd, HOST_QUERY_COMMAND_STATUS, static_cast<WPARAM>(command), L(statusPointer));
}
int32_t Host_EventReply(HWND hwnd, int32_t number) {
  return Send(hwnd, HOST_EVENT_REPLY, static_cast<WPARAM>(number), 0);
}
int32_t Host_GetLineCount(HWND hwnd, int32_t posKind) {
  return Send(hwnd, HOST_GET_LINE_COUNT, static_cast<WPARAM>(posKind), 0);
}
int32_t Host_GetCaretPos(HWND hwnd, int32_t posKind, HostPos* pos) {
  return Send(hwnd, HOST_GET_CARET_POS, static_cast<WPARAM>(posKind), L(pos));
}
int32_t Host_GetScrollPos(HWND hwnd, HostScrollValue* value) { return Send(hwnd, HOST_GET_SCROLL_POS, 0, L(value)); }
int32_t Host_ConvertPos(HWND hwnd, HostPos* pos) { return Send(hwnd, HOST_CONVERT_POS, W(pos), L(pos)); }
int32_t Host_SetCaretPos(HWND hwnd, int32_t posKind, const HostPos* pos) {
  return Send(hwnd, HOST_SET_CARET_POS, static_cast<WPARAM>(posKind), L(pos));
}
int32_t Host_SetScrollPos(HWND hwnd, const HostScrollValue* value) {
  return Send(hwnd, HOST_SET_SCROLL_POS, 0, L(value));
}
int32_t Host_RunCommand(HWND hwnd, int32_t command) {
  return Send(hwnd, HOST_RUN_COMMAND, static_cast<WPARAM>(command), 0);
}
int32_t Host_GetSelStart(HWND hwnd, int32_t posKind, HostPos* pos) {
  return Send(hwnd, HOST_GET_SEL_START, static_cast<WPARAM>(posKind), L(pos));
}
int32_t Host_GetSelEnd(HWND hwnd, int32_t posKind, HostPos* pos) {
  return Send(hwnd, HOST_GET_SEL_END, static_cast<WPARAM>(posKind), L(pos));
}
int32_t Host_SelectChars(HWND hwnd, int32_t count) {
  return Send(hwnd, HOST_SELECT_CHARS, static_cast<WPARAM>(count), 0);
}
int32_t Host_SetSelection(HWND hwnd, const HostPos* anchor, const HostPos* active) {
  return Send(hwnd, HOST_SET_SELECTION, W(anchor), L(active));
}
int32_t Host_SetRedraw(HWND hwnd, bool on) { return Send(hwnd, HOST_SET_REDRAW, on ? 1 : 0, 0); }
int32_t Host_GetSelType(HWND hwnd) { return Send(hwnd, HOST_GET_SEL_TYPE, 0, 0); }
int32_t Host_GetSelText(HWND hwnd, int32_t size, wchar_t* buffer) {
  return Send(hwnd, HOST_GET_SEL_TEXT, static_cast<WPARAM>(size), L(buffer));
}
int32_t Host_GetLineText(HWND hwnd, HostLineRequest* request, wchar_t* buffer) {
  return Send(hwnd, HOST_GET_LINE_TEXT, W(request), L(buffer));
}
int32_t Host_InsertText(HWND hwnd, const wchar_t* text) { return Send(hwnd, HOST_INSERT_TEXT, 0, L(text)); }

bool Host_ReadSetting(HWND hwnd, uint32_t hostWord1, uint32_t hostWord2, const wchar_t* name, uint32_t kind,
                      wchar_t* buffer, uint32_t* bufferBytes, uint32_t hostWord3) {
  HostSettingRequest request{sizeof(HostSettingRequest), hostWord1, hostWord2, name, kind, buffer, bufferBytes,
                             hostWord3};
  return Send(hwnd, HOST_READ_SETTING, 0, L(&request)) != 0;
}

// A simulated host editor for tests, benchmarks and the demo: a real Win32
// window, created on the calling thread, that answers the host messages in
// its window procedure the way a real editor would.
//
// The document is UTF-16 text with CR LF, CR and LF line breaks (each one
// break; CR LF is two units in columns and in HOST_SELECT_CHARS counts).
// POS_LOGICAL positions are (column in units, line by breaks). POS_DEFAULT
// positions are view coordinates of the document wrapped at WrapWidth()
// units: y counts view rows, x the column within the row. A line of length
// len takes len / WrapWidth() + 1 rows. HOST_CONVERT_POS turns a POS_LOGICAL
// position into this POS_DEFAULT form.
//
// Every test-side position below is POS_LOGICAL unless its name says View.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plugin.h"

// How the simulated host answers the two-step reads (HOST_GET_SEL_TEXT,
// HOST_GET_LINE_TEXT). Everything but srNormal is a strange host for
// robustness tests.
enum TSimReadQuirk : uint8_t {
  srNormal = 0,    // size answer = length + 1 (room for the NUL); fill writes text + NUL within the size
  srSizeZero = 1,  // size answer 0; a fill still answers normally
  srSizeNegative = 2,  // size answer -7
  srNoNul = 3,     // size answer = length; the fill writes min(size, length) units and no NUL
  srOversize = 4,  // size answer = length + 1 + surplus (16); the fill writes text + NUL, then the
                   // surplus fill ('X') up to the size
};

// The ways a sound host may answer the two-step reads: the exact size, or a
// generous one whose units after the terminating NUL hold junk or zeros.
enum TSimReadProfile : uint8_t { rpExact = 0, rpGenerousJunk = 1, rpGenerousZeros = 2 };

// One message the window received, with its decoded details. Fields that do
// not apply to the message keep their defaults.
struct TSimMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
  int32_t PosKind = -1;     // position messages: POS_DEFAULT or POS_LOGICAL (CONVERT_POS: POS_LOGICAL)
  HostPos Pos{-1, -1};      // position got, set, converted (the input), or the anchor of SET_SELECTION
  HostPos Pos2{-1, -1};     // SET_SELECTION: the active position; CONVERT_POS: the result
  int32_t Count = 0;        // SELECT_CHARS: n; two-step reads: the size sent (0 = size request);
                            // SET_REDRAW: 0/1; command numbers; EVENT_REPLY number
  int32_t Flags = 0;        // GET_LINE_TEXT: request flags
  int32_t Line = -1;        // GET_LINE_TEXT: requested line
  bool HasBuffer = false;   // two-step reads: a buffer address was given
  std::u16string Text;      // INSERT_TEXT: the text; READ_SETTING: the setting name
};

// What the last HOST_READ_SETTING request held.
struct TSimSettingRequest {
  uint32_t Size = 0;
  uint32_t HostWord1 = 0, HostWord2 = 0, HostWord3 = 0;
  uint32_t Kind = 0;
  std::u16string Name;
  bool HasBuffer = false;
  bool HasSizeWord = false;
  uint32_t BufferBytes = 0;  // the value of the size word the plug-in offered
};

class TSimHost {
public:
  explicit TSimHost(std::u16string_view text = u"", int32_t wrapWidth = 40);
  ~TSimHost();
  TSimHost(const TSimHost&) = delete;
  TSimHost& operator=(const TSimHost&) = delete;

  HWND Hwnd() const;
  void Show(bool visible);  // hidden by default

  // Document.
  void SetText(std::u16string_view text);  // caret to (0,0), no selection
  std::u16string Text() const;
  int32_t LineCount() const;               // a text ending in a break has an empty last line
  std::u16string Line(int32_t y) const;    // with its break
  int32_t LineLength(int32_t y) const;     // without its break

  // Selection and caret (POS_LOGICAL). The caret is the active end.
  void SetCaret(HostPos caret);                        // empty selection
  void SetSelection(HostPos anchor, HostPos active);   // clamped into the document
  HostPos Anchor() const;
  HostPos Caret() const;
  HostPos SelStart() const;
  HostPos SelEnd() const;
  bool HasSelection() const;
  std::u16string SelectedText() const;

  // View form (POS_DEFAULT).
  void SetWrapWidth(int32_t width);  // >= 1
  int32_t WrapWidth() const;
  HostPos ToView(HostPos logical) const;
  HostPos FromView(HostPos view) const;
  int32_t ViewRowCount() const;

  // "PlugInsFolder": nullopt = not set (answer 0, buffer untouched).
  void SetPlugInsFolder(std::optional<std::u16string> value);
  const TSimSettingRequest& LastSettingRequest() const;

  // HOST_QUERY_COMMAND_STATUS: the answer (default 1) and what arrived.
  void SetCommandStatusAnswer(int32_t answer);
  const void* LastStatusPointer() const;
  int32_t LastStatusCommand() const;

  // HOST_EVENT_REPLY numbers and HOST_RUN_COMMAND numbers, in order.
  const std::vector<int32_t>& EventReplies() const;
  const std::vector<int32_t>& RunCommands() const;

  // Scroll value (8 bytes), read and written by the scroll messages.
  void SetScrollValue(HostScrollValue value);
  HostScrollValue ScrollValue() const;

  // Redraw state: on at start; counts of HOST_SET_REDRAW 0 and 1.
  bool RedrawOn() const;
  int32_t RedrawOffCount() const;
  int32_t RedrawOnCount() const;

  // Message log.
  const std::vector<TSimMessage>& Log() const;
  int32_t CountOf(UINT msg) const;
  void ClearLog();  // also zeroes the counts
  void SetLogging(bool on);  // on by default; off for benchmarks: no records, counts still kept

  // Strange answers for robustness tests.
  void SetReadQuirk(TSimReadQuirk quirk);
  // srOversize: the units more than needed, and what fills them after the
  // NUL, repeated (an empty fill writes zeros).
  void SetOversize(int32_t surplus, std::u16string_view fill);
  // A profile, with the given surplus for the generous ones. The junk holds
  // line breaks and symbols, so that reading past the NUL shows.
  void SetReadProfile(TSimReadProfile profile, int32_t surplus = 16);
  void SetFillPositions(bool fill);  // false: position getters leave the record untouched

  // Called after every host message has been handled (not for other messages).
  std::function<void(const TSimMessage&)> OnHostMessage;
  // Called for every other window message first (e.g. WM_ENTERIDLE while a
  // popup menu is open); return true to mark it handled with `result`.
  std::function<bool(UINT msg, WPARAM w, LPARAM l, LRESULT& result)> OnOtherMessage;

  struct TImpl;

private:
  std::unique_ptr<TImpl> FImpl;
};

// The simulated host must behave like an editor, or the selection tests prove
// nothing: these check its two position forms, its line model and its answers.
#include <gtest/gtest.h>

#include "SimHost.h"
#include "plugin.h"

namespace {
HostPos P(int32_t x, int32_t y) { return HostPos{x, y}; }
}  // namespace

TEST(SimHost, ViewPositionsDifferFromLogicalOnes) {
  // Line 0 is 25 units: with width 10 it takes rows 0..2; line 1 starts at row 3.
  TSimHost host(u"0123456789abcdefghijABCDE\r\nshort\nx", 10);
  HWND h = host.Hwnd();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(host.LineCount(), 3);
  EXPECT_EQ(Host_GetLineCount(h, POS_LOGICAL), 3);
  EXPECT_EQ(Host_GetLineCount(h, POS_DEFAULT), 5);  // 3 + 1 + 1 view rows

  HostPos p{12, 0};
  Host_ConvertPos(h, &p);
  EXPECT_EQ(p, P(2, 1));
  p = HostPos{3, 1};
  Host_ConvertPos(h, &p);
  EXPECT_EQ(p, P(3, 3));

  host.SetSelection(P(4, 1), P(21, 0));  // backward: the caret is the earlier end
  HostPos a{-1, -1}, b{-1, -1}, k{-1, -1};
  Host_GetSelStart(h, POS_LOGICAL, &a);
  Host_GetSelEnd(h, POS_LOGICAL, &b);
  Host_GetCaretPos(h, POS_LOGICAL, &k);
  EXPECT_EQ(a, P(21, 0));
  EXPECT_EQ(b, P(4, 1));
  EXPECT_EQ(k, P(21, 0));
  Host_GetSelStart(h, POS_DEFAULT, &a);
  Host_GetSelEnd(h, POS_DEFAULT, &b);
  EXPECT_EQ(a, P(1, 2));
  EXPECT_EQ(b, P(4, 3));
  EXPECT_EQ(host.SelectedText(), u"BCDE\r\nshor");

  // Setting positions back in either form selects the same range, caret at the active one.
  Host_SetSelection(h, &b, &a);
  EXPECT_EQ(host.Anchor(), P(4, 1));
  EXPECT_EQ(host.Caret(), P(21, 0));
  const HostPos same{2, 2};
  Host_SetCaretPos(h, POS_LOGICAL, &same);  // line 2 is one unit long
  EXPECT_EQ(host.Caret(), P(1, 2));
  Host_SetCaretPos(h, POS_DEFAULT, &same);  // view row 2 is the third row of line 0
  EXPECT_EQ(host.Caret(), P(22, 0));
  EXPECT_FALSE(host.HasSelection());

  // Every position round-trips between the forms, including the end of a line
  // whose length is a multiple of the width.
  host.SetText(u"0123456789\n\n0123456789012345678\r\nend");
  for (int32_t y = 0; y < host.LineCount(); ++y)
    for (int32_t x = 0; x <= host.LineLength(y); ++x) EXPECT_EQ(host.FromView(host.ToView(P(x, y))), P(x, y));
  EXPECT_EQ(host.ToView(P(10, 0)), P(0, 1));
  EXPECT_EQ(host.ToView(P(0, 1)), P(0, 2));
}

TEST(SimHost, LinesBreaksAndEditing) {
  TSimHost host(u"a\r\nb\rc\nd\r\n");
  HWND h = host.Hwnd();
  EXPECT_EQ(host.LineCount(), 5);  // ends with a break: an empty last line
  EXPECT_EQ(host.Line(0), u"a\r\n");
  EXPECT_EQ(host.Line(1), u"b\r");
  EXPECT_EQ(host.Line(4), u"");
  EXPECT_EQ(host.Text(), u"a\r\nb\rc\nd\r\n");

  // CR LF counts two units in HOST_SELECT_CHARS.
  host.SetCaret(P(0, 0));
  Host_SelectChars(h, 4);
  EXPECT_EQ(host.SelectedText(), u"a\r\nb");
  EXPECT_EQ(Host_GetSelType(h), 1);
  EXPECT_EQ(host.Caret(), P(1, 1));
  EXPECT_EQ(host.Anchor(), P(0, 0));

  // The insertion replaces the selection and leaves the caret after it.
  std::u16string ins = u"X\nY";
  Host_InsertText(h, reinterpret_cast<const wchar_t*>(ins.c_str()));
  EXPECT_EQ(host.Text(), u"X\nY\rc\nd\r\n");
  EXPECT_EQ(host.Caret(), P(1, 1));
  EXPECT_FALSE(host.HasSelection());
  EXPECT_EQ(Host_GetSelType(h), 0);

  // A lone CR meeting an LF becomes one CR LF break.
  host.SetText(u"a\rb\n");
  host.SetSelection(P(0, 1), P(1, 1));
  std::u16string empty;
  Host_InsertText(h, reinterpret_cast<const wchar_t*>(empty.c_str()));
  EXPECT_EQ(host.Text(), u"a\r\n");
  EXPECT_EQ(host.LineCount(), 2);
  EXPECT_EQ(host.Line(0), u"a\r\n");

  // Selecting past the end stops at the end; with nothing selected all three
  // position getters agree.
  host.SetText(u"ab\ncd");
  host.SetCaret(P(1, 1));
  Host_SelectChars(h, 100);
  EXPECT_EQ(host.SelectedText(), u"d");
  host.SetCaret(P(9, 9));
  EXPECT_EQ(host.Caret(), P(2, 1));
  HostPos a{}, b{}, k{};
  Host_GetSelStart(h, POS_DEFAULT, &a);
  Host_GetSelEnd(h, POS_DEFAULT, &b);
  Host_GetCaretPos(h, POS_DEFAULT, &k);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, k);

  // Line requests: with the break for flags 1, the last line has none.
  HostLineRequest req{0, 1, 0};
  EXPECT_EQ(Host_GetLineText(h, &req, nullptr), 4);
  wchar_t buf[8] = {L'#', L'#', L'#', L'#', L'#', L'#', L'#', L'#'};
  req.size = 2;  // too small: cut, NUL-terminated, nothing past the size
  Host_GetLineText(h, &req, buf);
  EXPECT_EQ(buf[0], L'a');
  EXPECT_EQ(buf[1], 0);
  EXPECT_EQ(buf[2], L'#');
  req = HostLineRequest{0, 1, 1};
  EXPECT_EQ(Host_GetLineText(h, &req, nullptr), 3);
  req = HostLineRequest{0, 1, 7};
  EXPECT_EQ(Host_GetLineText(h, &req, nullptr), 0);

  // Read profiles: the size needed, or that and a surplus whose units after
  // the terminating NUL hold junk (breaks among it) or zeros.
  struct Profile {
    TSimReadProfile profile;
    std::u16string rest;  // the units after "ab\n" and its NUL
  } profiles[] = {{rpExact, u"####"}, {rpGenerousJunk, u"#\r\n#"}, {rpGenerousZeros, std::u16string(3, u'\0') + u"#"}};
  for (const Profile& p : profiles) {
    host.SetReadProfile(p.profile, 3);
    req = HostLineRequest{0, 1, 0};
    const int32_t n = static_cast<int32_t>(Host_GetLineText(h, &req, nullptr));
    EXPECT_EQ(n, p.profile == rpExact ? 4 : 7);
    wchar_t fill[8] = {L'#', L'#', L'#', L'#', L'#', L'#', L'#', L'#'};
    req.size = n;
    Host_GetLineText(h, &req, fill);
    EXPECT_EQ(std::u16string(reinterpret_cast<const char16_t*>(fill), 8), std::u16string(u"ab\n", 3) + u'\0' + p.rest);
  }
}

TEST(SimHost, SettingsStatusScrollRedrawAndLog) {
  TSimHost host(u"text");
  HWND h = host.Hwnd();

  // The folder setting fits the offered byte size, or is cut and NUL-terminated within it.
  host.SetPlugInsFolder(u"C:\\Plugins");
  wchar_t buf[8];
  for (auto& c : buf) c = L'#';
  uint32_t bytes = 8;  // 4 units
  EXPECT_FALSE(Host_ReadSetting(h, 0x7FFFFF00, 0, L"PlugInsFolder", 1, buf, &bytes, 0));
  EXPECT_EQ(std::wstring(buf), L"C:\\");
  EXPECT_EQ(buf[4], L'#');
  EXPECT_EQ(host.LastSettingRequest().Size, 32u);
  EXPECT_EQ(host.LastSettingRequest().HostWord1, 0x7FFFFF00u);
  EXPECT_EQ(host.LastSettingRequest().Kind, 1u);
  EXPECT_EQ(host.LastSettingRequest().BufferBytes, 8u);
  EXPECT_EQ(host.LastSettingRequest().Name, u"PlugInsFolder");
  wchar_t big[260] = {};
  bytes = 520;
  EXPECT_TRUE(Host_ReadSetting(h, 0x7FFFFF00, 0, L"PlugInsFolder", 1, big, &bytes, 0));
  EXPECT_EQ(std::wstring(big), L"C:\\Plugins");
  host.SetPlugInsFolder(std::nullopt);
  big[0] = L'Q';
  EXPECT_FALSE(Host_ReadSetting(h, 0x7FFFFF00, 0, L"PlugInsFolder", 1, big, &bytes, 0));
  EXPECT_EQ(big[0], L'Q');  // absent: the buffer is left alone

  int statusRecord = 0;
  host.SetCommandStatusAnswer(0x100);  // low byte 0
  EXPECT_EQ(Host_QueryCommandStatus(h, 4201, &statusRecord), 0x100);
  EXPECT_EQ(host.LastStatusPointer(), &statusRecord);
  EXPECT_EQ(host.LastStatusCommand(), 4201);

  host.SetScrollValue(HostScrollValue{7, -3});
  HostScrollValue v{};
  Host_GetScrollPos(h, &v);
  EXPECT_EQ(v.first, 7);
  EXPECT_EQ(v.second, -3);
  v = HostScrollValue{1, 2};
  Host_SetScrollPos(h, &v);
  EXPECT_EQ(host.ScrollValue().first, 1);
  EXPECT_EQ(host.ScrollValue().second, 2);

  Host_SetRedraw(h, false);
  EXPECT_FALSE(host.RedrawOn());
  Host_SetRedraw(h, true);
  EXPECT_TRUE(host.RedrawOn());
  EXPECT_EQ(host.RedrawOffCount(), 1);
  EXPECT_EQ(host.RedrawOnCount(), 1);

  Host_EventReply(h, 12);
  Host_RunCommand(h, 4187);
  EXPECT_EQ(host.EventReplies(), std::vector<int32_t>{12});
  EXPECT_EQ(host.RunCommands(), std::vector<int32_t>{4187});

  const auto& log = host.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log.back().Msg, HOST_RUN_COMMAND);
  EXPECT_EQ(log.back().Count, 4187);
  EXPECT_EQ(host.CountOf(HOST_READ_SETTING), 3);
  EXPECT_EQ(host.CountOf(HOST_SET_REDRAW), 2);
  host.ClearLog();
  EXPECT_TRUE(host.Log().empty());
  EXPECT_EQ(host.CountOf(HOST_SET_REDRAW), 0);
}

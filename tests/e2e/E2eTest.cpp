// End-to-end tests of the built Marquill.dll: loaded as the host editor loads
// it, with the simulated host editor as its window, the real popup menu driven
// through the keyboard and the real message boxes answered with their buttons.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include "MarquillVersion.h"
#include "engine/Notation.h"
#include "PluginHarness.h"
#include "Utf.h"

#ifndef MARQUILL_DLL_PATH
#error "MARQUILL_DLL_PATH must name the built Marquill.dll"
#endif

namespace {

// When set, this program was started by "設定編集": it writes its command
// line to the named file and waits for the test to let it go.
constexpr wchar_t kChildVariable[] = L"MARQUILL_E2E_COMMAND_LINE_FILE";

std::string U8(std::u16string_view s) { return Utf16ToUtf8Lossy(s); }

// Joins texts (kept out of operator+ on literals, which trips GCC's -Wrestrict).
std::u16string Cat(std::initializer_list<std::u16string_view> parts) {
  std::u16string out;
  for (std::u16string_view p : parts) out.append(p);
  return out;
}

// Valid entries (symbols "> ", "'", "//", "#", "REM ") between invalid lines.
const std::u16string kSettings =
    u"> \t引用\r\n"
    u"'\tコメント(VB)\r\n"
    u"no tab here\r\n"
    u"//\tC言語\\tCtrl+1\r\n"
    u"x\ty\tz\r\n"
    u"\r\n"
    u"#\t\\\\シャー\\プ  \r\n"
    u"REM \t&Rem";
const std::vector<std::u16string> kCaptions = {u"引用", u"コメント(VB)", u"C言語\tCtrl+1", u"\\シャープ", u"&Rem"};

const char16_t* const kTargets[] = {u"全ての行", u"空白行を除く", u"最小インデント行のみ", u"空白行の次の行のみ"};

// "caption=id" for every item, submenus as "caption/...".
void Describe(const std::vector<TMenuItemSeen>& items, const std::string& prefix, std::vector<std::string>& out) {
  for (const TMenuItemSeen& item : items) {
    if (item.Separator) {
      out.push_back(prefix + "---");
    } else if (item.Popup) {
      out.push_back(prefix + U8(item.Caption) + "/");
      Describe(item.Items, prefix + U8(item.Caption) + "/", out);
    } else {
      out.push_back(prefix + U8(item.Caption) + "=" + std::to_string(item.Id));
    }
  }
}

// The id the menu id table gives the item or submenu captioned caption in group.
int IdOf(const char16_t* group, const char16_t* caption) {
  for (const TMenuIdRange& row : MenuIdTable)
    if (row.Group && std::u16string_view(row.Group) == group && std::u16string_view(row.Caption) == caption) return row.Id;
  ADD_FAILURE() << "no menu id for " << U8(caption);
  return -1;
}

std::vector<std::string> ExpectedMenu(const std::vector<std::u16string>& captions) {
  std::vector<std::string> out;
  auto entries = [&](const std::string& prefix, int base) {
    for (size_t i = 0; i < captions.size(); ++i) out.push_back(prefix + U8(captions[i]) + "=" + std::to_string(base + i));
  };
  const char16_t* tops[] = {u"行頭に挿入", u"文字先頭位置に挿入"};
  for (int p = 0; p < 2; ++p) {
    out.push_back(U8(tops[p]) + "/");
    for (int t = 0; t < 4; ++t) {
      const std::string sub = U8(tops[p]) + "/" + U8(kTargets[t]) + "/";
      out.push_back(sub);
      entries(sub, IdOf(tops[p], kTargets[t]));
    }
    out.push_back("---");
  }
  out.push_back("先頭文字を削除/");
  out.push_back("先頭文字を削除/1つ削除=" + std::to_string(ID_DELETE_ONE));
  out.push_back("先頭文字を削除/全て削除=" + std::to_string(ID_DELETE_ALL));
  out.push_back("先頭文字を削除/指定して削除/");
  entries("先頭文字を削除/指定して削除/", ID_DELETE_GIVEN);
  out.push_back("---");
  out.push_back("設定編集=" + std::to_string(ID_EDIT_SETTINGS));
  out.push_back("---");
  out.push_back("キャンセル=" + std::to_string(ID_CANCEL));
  return out;
}

// HOST_SET_REDRAW messages of the log with the given switch value.
int RedrawSwitches(const TSimHost& host, int value) {
  int n = 0;
  for (const TSimMessage& m : host.Log())
    if (m.Msg == HOST_SET_REDRAW && m.Count == value) ++n;
  return n;
}

std::vector<UINT> HostMessages(const TSimHost& host) {
  std::vector<UINT> out;
  for (const TSimMessage& m : host.Log()) out.push_back(m.Msg);
  return out;
}

const TSimMessage* LastOf(const TSimHost& host, UINT msg) {
  const TSimMessage* found = nullptr;
  for (const TSimMessage& m : host.Log())
    if (m.Msg == msg) found = &m;
  return found;
}

std::wstring DllPath() { return WindowsPath(MARQUILL_DLL_PATH); }

// A host that asks for an impossible buffer for the selected text.
WNDPROC GreedyOriginal = nullptr;
LRESULT CALLBACK GreedyHost(HWND h, UINT msg, WPARAM w, LPARAM l) {
  if (msg == HOST_GET_SEL_TEXT && w == 0) return 0x7FFFFFF0;
  return CallWindowProcW(GreedyOriginal, h, msg, w, l);
}

class E2e : public ::testing::Test {
protected:
  TPluginModule Plugin{DllPath()};
  TTempFolder Folder;
  TSimHost Host;
  TUserDriver User{Host};

  void SetUp() override { Host.SetPlugInsFolder(Folder.Path()); }

  std::u16string SettingPath() const { return Folder / u"Marquill_Setting.txt"; }
  void Settings(std::u16string_view text) { WriteBytes(SettingPath(), Cp932(text)); }

  // Runs the command with the user pressing keys in the menu and buttons in boxes.
  void Command(std::vector<UINT> keys, std::vector<int> answers = {}) {
    User.Reset();
    User.SetMenuKeys(std::move(keys));
    User.SetDialogAnswers(std::move(answers));
    Host.ClearLog();
    TWatchdog dog(60000, "OnCommand");
    Plugin.OnCommand(Host.Hwnd());
  }
};

TEST_F(E2e, MenuShowsEveryValidEntryInNineSubmenus) {
  Settings(kSettings);
  Host.SetText(u"abc");
  Command({VK_ESCAPE});
  ASSERT_EQ(User.MenuCount(), 1);
  std::vector<std::string> seen;
  Describe(User.MenuTree(), "", seen);
  EXPECT_EQ(seen, ExpectedMenu(kCaptions));
  EXPECT_EQ(Host.Text(), u"abc");

  // The submenus the user opened show the same items.
  Command(MenuKeys({1, 1, 2}));  // 文字先頭位置に挿入 > 空白行を除く > third entry ("//")
  ASSERT_GE(User.PopupsOpened().size(), 3u);
  const auto& opened = User.PopupsOpened()[2];
  ASSERT_EQ(opened.size(), kCaptions.size());
  for (size_t i = 0; i < opened.size(); ++i) {
    EXPECT_EQ(U8(opened[i].Caption), U8(kCaptions[i]));
    EXPECT_EQ(opened[i].Id, static_cast<UINT>(ID_CHAR_SKIP_BLANK) + i);
  }
  EXPECT_EQ(Host.Text(), u"//abc");

  // An empty list still gives the whole menu, with nine empty submenus.
  Settings(u"");
  Command({VK_ESCAPE});
  seen.clear();
  Describe(User.MenuTree(), "", seen);
  EXPECT_EQ(seen, ExpectedMenu({}));

  // So does a list of invalid entries only; the deletions still run.
  Settings(u"a\r\n\r\nb\tc\td\r\n");
  Host.SetText(u"> x\r\n");
  Command(MenuKeys({2, 1}));
  seen.clear();
  Describe(User.MenuTree(), "", seen);
  EXPECT_EQ(seen, ExpectedMenu({}));
  EXPECT_EQ(Host.Text(), u"> x\r\n");
}

TEST_F(E2e, InsertsInEachOfTheEightModes) {
  Settings(kSettings);
  const std::u16string text = N(u"→foo¶␣␣bar¶␣¶□baz");
  const std::u16string expected[2][4] = {
      {N(u">␣→foo¶>␣␣␣bar¶>␣␣¶>␣□baz"), N(u">␣→foo¶>␣␣␣bar¶␣¶>␣□baz"), N(u"→foo¶>␣␣␣bar¶␣¶>␣□baz"),
       N(u">␣→foo¶␣␣bar¶␣¶>␣□baz")},
      {N(u"␣␣>␣␣␣foo¶␣␣>␣bar¶␣␣>␣¶␣␣>␣baz"), N(u"␣␣>␣␣␣foo¶␣␣>␣bar¶␣¶␣␣>␣baz"), N(u"→foo¶␣␣>␣bar¶␣¶␣␣>␣baz"),
       N(u"␣␣>␣␣␣foo¶␣␣bar¶␣¶␣␣>␣baz")},
  };
  for (int p = 0; p < 2; ++p) {
    for (int t = 0; t < 4; ++t) {
      char trace[32];
      std::snprintf(trace, sizeof trace, "position %d, target %d", p, t);
      SCOPED_TRACE(trace);
      Host.SetText(Cat({u"head\r\n", text}));
      Host.SetSelection({1, 1}, {2, 4});  // from inside line 1 to inside the last line
      Command(MenuKeys({p, t, 0}));
      EXPECT_EQ(U8(Host.Text()), U8(Cat({u"head\r\n", expected[p][t]})));
      // The edited lines stay selected, the caret at the end as before.
      EXPECT_EQ(U8(Host.SelectedText()), U8(expected[p][t]));
      EXPECT_EQ(Host.Anchor(), (HostPos{0, 1}));
      EXPECT_EQ(Host.Caret(), Host.SelEnd());
    }
  }
  // Another entry under another mode: the third entry, "//", to the first line after a blank.
  Host.SetText(N(u"a¶¶b¶c"));
  Host.SetSelection({0, 0}, {1, 3});
  Command(MenuKeys({0, 3, 2}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u"//a¶¶//b¶c")));
  // "REM " (fifth entry) before every line of the selection only.
  Host.SetText(N(u"a¶b¶c¶d"));
  Host.SetSelection({0, 1}, {0, 3});
  Command(MenuKeys({0, 0, 4}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u"a¶REM␣b¶REM␣c¶d")));
}

TEST_F(E2e, DeletesOnceAllAndGiven) {
  Settings(kSettings);
  const std::u16string text = N(u">␣>␣x¶#␣>␣y¶␣␣//␣z¶plain");
  Host.SetText(text);
  Host.SetSelection({0, 0}, {5, 3});
  Command(MenuKeys({2, 0}));  // 1つ削除
  EXPECT_EQ(U8(Host.Text()), U8(N(u">␣x¶␣>␣y¶␣␣␣z¶plain")));

  Host.SetText(text);
  Host.SetSelection({0, 0}, {5, 3});
  Command(MenuKeys({2, 1}));  // 全て削除: passes until nothing changes
  EXPECT_EQ(U8(Host.Text()), U8(N(u"x¶␣y¶␣␣␣z¶plain")));

  Host.SetText(text);
  Host.SetSelection({0, 0}, {5, 3});
  Command(MenuKeys({2, 2, 3}));  // 指定して削除 > "#"
  EXPECT_EQ(U8(Host.Text()), U8(N(u">␣>␣x¶␣>␣y¶␣␣//␣z¶plain")));

  // Only the selected lines change.
  Host.SetText(text);
  Host.SetSelection({0, 1}, {1, 1});
  Command(MenuKeys({2, 1}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u">␣>␣x¶␣y¶␣␣//␣z¶plain")));
}

TEST_F(E2e, CaretAndSelectionAfterTheEdit) {
  Settings(kSettings);
  // Nothing selected: the caret stays on its character, two columns on.
  Host.SetText(N(u"aa¶bcdef¶gg"));
  Host.SetCaret({3, 1});
  Command(MenuKeys({0, 0, 0}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u"aa¶>␣bcdef¶gg")));
  EXPECT_FALSE(Host.HasSelection());
  EXPECT_EQ(Host.Caret(), (HostPos{5, 1}));
  EXPECT_EQ(Host.RunCommands(), std::vector<int32_t>{4187});

  // Forward selection: the whole lines stay selected, the caret at the end.
  Host.SetText(N(u"one¶two¶three"));
  Host.SetSelection({1, 0}, {2, 1});
  Command(MenuKeys({0, 0, 1}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u"'one¶'two¶three")));
  EXPECT_EQ(Host.Anchor(), (HostPos{0, 0}));
  EXPECT_EQ(Host.Caret(), (HostPos{0, 2}));

  // Backward selection: the caret stays at the start.
  Host.SetText(N(u"one¶two¶three"));
  Host.SetSelection({2, 1}, {1, 0});
  Command(MenuKeys({0, 0, 1}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u"'one¶'two¶three")));
  EXPECT_EQ(Host.Caret(), (HostPos{0, 0}));
  EXPECT_EQ(Host.Anchor(), (HostPos{0, 2}));

  // A deletion in front of a caret nearer the line start than the deleted
  // length puts the caret at column 0, not before the line.
  Host.SetText(N(u"x¶>␣abc¶y"));
  Host.SetCaret({1, 1});
  Command(MenuKeys({2, 0}));
  EXPECT_EQ(U8(Host.Text()), U8(N(u"x¶abc¶y")));
  EXPECT_EQ(Host.Caret(), (HostPos{0, 1}));
  const TSimMessage* set = LastOf(Host, HOST_SET_CARET_POS);
  ASSERT_NE(set, nullptr);
  EXPECT_EQ(set->PosKind, POS_LOGICAL);
  EXPECT_EQ(set->Pos, (HostPos{0, 1}));
}

TEST_F(E2e, EscapeAndCancelChangeNoText) {
  Settings(kSettings);
  // Esc with text selected: the selection is widened to whole lines, no text written.
  Host.SetText(N(u"one¶two¶three"));
  Host.SetSelection({1, 0}, {2, 1});
  Command({VK_ESCAPE});
  EXPECT_EQ(Host.Text(), N(u"one¶two¶three"));
  EXPECT_EQ(Host.Anchor(), (HostPos{0, 0}));
  EXPECT_EQ(Host.Caret(), (HostPos{0, 2}));
  EXPECT_EQ(Host.CountOf(HOST_INSERT_TEXT), 0);

  // Esc with nothing selected: the caret ends where it was.
  Host.SetCaret({2, 1});
  Command({VK_ESCAPE});
  EXPECT_EQ(Host.Text(), N(u"one¶two¶three"));
  EXPECT_FALSE(Host.HasSelection());
  EXPECT_EQ(Host.Caret(), (HostPos{2, 1}));

  // キャンセル leaves selection, caret and text alone.
  Host.SetSelection({2, 1}, {1, 0});
  Command(MenuKeys({4}));
  EXPECT_EQ(Host.Text(), N(u"one¶two¶three"));
  EXPECT_EQ(Host.Anchor(), (HostPos{2, 1}));
  EXPECT_EQ(Host.Caret(), (HostPos{1, 0}));
  EXPECT_EQ(Host.CountOf(HOST_SET_SELECTION), 0);
  EXPECT_EQ(Host.CountOf(HOST_RUN_COMMAND), 0);
  // Esc inside a submenu only closes it; the next Esc closes the menu.
  Command({VK_DOWN, VK_RIGHT, VK_ESCAPE, VK_ESCAPE});
  EXPECT_EQ(Host.Text(), N(u"one¶two¶three"));

  // Esc over lines holding a NUL refuses nothing, as nothing was asked for:
  // the selection is widened as always, and no box shows.
  const std::u16string withNul(u"one\nt\0wo\nthree", 14);
  Host.SetText(withNul);
  Host.SetSelection({1, 0}, {2, 1});
  Command({VK_ESCAPE});
  EXPECT_EQ(U8(Host.Text()), U8(withNul));
  EXPECT_EQ(Host.Anchor(), (HostPos{0, 0}));
  EXPECT_EQ(Host.Caret(), (HostPos{0, 2}));
  EXPECT_EQ(Host.CountOf(HOST_INSERT_TEXT), 0);
  EXPECT_TRUE(User.Dialogs().empty());
}

TEST_F(E2e, RedrawBracketAndScrollValue) {
  Settings(kSettings);
  Host.SetText(N(u"one¶two"));
  Host.SetCaret({1, 0});
  Host.SetScrollValue({12, 34});
  // The host scrolls while the command edits; the command hands the value back.
  Host.OnHostMessage = [this](const TSimMessage& m) {
    if (m.Msg == HOST_INSERT_TEXT) Host.SetScrollValue({99, 98});
  };
  Command(MenuKeys({0, 0, 0}));
  Host.OnHostMessage = nullptr;
  EXPECT_EQ(U8(Host.Text()), U8(N(u">␣one¶two")));
  EXPECT_FALSE(User.RedrawOnWhenMenuOpened());
  EXPECT_TRUE(Host.RedrawOn());
  EXPECT_EQ(Host.ScrollValue().first, 12);
  EXPECT_EQ(Host.ScrollValue().second, 34);

  const std::vector<UINT> log = HostMessages(Host);
  ASSERT_GE(log.size(), 7u);
  EXPECT_EQ(log[0], HOST_READ_SETTING);  // the list is loaded before anything else
  size_t off = 0;
  while (off < log.size() && log[off] != HOST_SET_REDRAW) ++off;
  ASSERT_LT(off + 3, log.size());
  EXPECT_EQ(Host.Log()[off].Count, 0);
  EXPECT_EQ(log[off + 1], HOST_GET_SEL_START);
  EXPECT_EQ(Host.Log()[off + 1].PosKind, POS_LOGICAL);
  EXPECT_EQ(log[off + 2], HOST_GET_SCROLL_POS);
  EXPECT_EQ(log[off + 3], HOST_GET_SEL_TYPE);
  EXPECT_EQ(log[log.size() - 2], HOST_SET_SCROLL_POS);
  EXPECT_EQ(log.back(), HOST_SET_REDRAW);
  EXPECT_EQ(Host.Log().back().Count, 1);
  EXPECT_EQ(RedrawSwitches(Host, 0), 1);
  EXPECT_EQ(RedrawSwitches(Host, 1), 1);
  EXPECT_EQ(Host.CountOf(HOST_SET_SCROLL_POS), 1);

  // The same bracket around a cancelled menu.
  Command(MenuKeys({4}));
  const std::vector<UINT> cancel = HostMessages(Host);
  ASSERT_GE(cancel.size(), 3u);
  EXPECT_EQ(cancel[cancel.size() - 2], HOST_SET_SCROLL_POS);
  EXPECT_EQ(cancel.back(), HOST_SET_REDRAW);
  EXPECT_EQ(RedrawSwitches(Host, 0), 1);
  EXPECT_EQ(RedrawSwitches(Host, 1), 1);
}

TEST_F(E2e, EditSettingsStartsTheHostProgramWithTheQuotedPath) {
  Settings(kSettings);
  Host.SetText(u"abc");
  TTempFolder scratch;
  const std::u16string record = scratch / u"command-line.txt";
  SetEnvironmentVariableW(kChildVariable, W(record));
  const auto start = std::chrono::steady_clock::now();
  Command(MenuKeys({3}));
  const auto returned = std::chrono::steady_clock::now();
  SetEnvironmentVariableW(kChildVariable, nullptr);
  // The started program waits for the go file, so a command that waited for it
  // would not have returned by now.
  EXPECT_LT(std::chrono::duration_cast<std::chrono::seconds>(returned - start).count(), 10);

  std::string bytes;
  for (int i = 0; i < 300 && bytes.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bytes = ReadBytes(record).value_or("");
  }
  WriteBytes(record + u".go", "");
  std::u16string line(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2);
  wchar_t self[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  EXPECT_EQ(U8(line), U8(Cat({u"\"", U(self), u"\" \"", SettingPath(), u"\""})));
  EXPECT_EQ(Host.Text(), u"abc");
  EXPECT_EQ(Host.CountOf(HOST_INSERT_TEXT), 0);
  EXPECT_EQ(Host.CountOf(HOST_SET_SCROLL_POS), 1);
  EXPECT_TRUE(Host.RedrawOn());
}

TEST_F(E2e, ExportsAndAnswers) {
  // Found by name and by ordinal alike, in ordinal order.
  const char* names[] = {"OnCommand", "QueryStatus", "OnEvents", "GetMenuTextID", "GetStatusMessageID", "GetBitmapID",
                         "PlugInProc"};
  for (WORD i = 0; i < 7; ++i) {
    SCOPED_TRACE(names[i]);
    ASSERT_NE(Plugin.ByName(names[i]), nullptr);
    EXPECT_EQ(Plugin.ByOrdinal(static_cast<WORD>(i + 1)), Plugin.ByName(names[i]));
  }
  EXPECT_EQ(Plugin.ByName("OnCommand@4"), nullptr);
  EXPECT_EQ(Plugin.ByName("_OnCommand@4"), nullptr);

  EXPECT_EQ(Plugin.GetMenuTextID(), 1u);
  EXPECT_EQ(Plugin.GetStatusMessageID(), 2u);
  EXPECT_EQ(Plugin.GetBitmapID(), 101u);

  // Events: nothing stored yet, then 7, kept for later replies.
  HWND hwnd = Host.Hwnd();
  Plugin.OnEvents(hwnd, 0x40, 5);
  Plugin.OnEvents(hwnd, 0x440, 7);
  Plugin.OnEvents(hwnd, 0x40, 0);
  Plugin.OnEvents(hwnd, 0x400, 9);
  Plugin.OnEvents(hwnd, 0xFFFFFBBF, 11);  // every other bit: ignored
  Plugin.OnEvents(hwnd, 0x40, 0);
  EXPECT_EQ(Host.EventReplies(), (std::vector<int32_t>{0, 7, 7, 9}));

  // Status: the low byte of the host's answer decides; the pointer goes through unchanged.
  int token = 0;
  Host.SetCommandStatusAnswer(1);
  EXPECT_EQ(static_cast<uint32_t>(Plugin.QueryStatus(hwnd, &token)), 0xFFFFFFFFu);
  EXPECT_EQ(Host.LastStatusPointer(), &token);
  EXPECT_EQ(Host.LastStatusCommand(), 4201);
  EXPECT_EQ(token, 0);
  Host.SetCommandStatusAnswer(256);
  EXPECT_EQ(Plugin.QueryStatus(hwnd, &token), 0);
  Host.SetCommandStatusAnswer(0x1FF);
  EXPECT_EQ(static_cast<uint32_t>(Plugin.QueryStatus(hwnd, nullptr)), 0xFFFFFFFFu);

  // Name and version, as code page 932 bytes.
  char buf[64];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(Plugin.PlugInProc(hwnd, 2306, sizeof buf, 0), 8);
  EXPECT_EQ(Plugin.PlugInProc(hwnd, 2306, sizeof buf, reinterpret_cast<LPARAM>(buf)), 8);
  EXPECT_STREQ(buf, "Marquill");
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(Plugin.PlugInProc(hwnd, 2306, 5, reinterpret_cast<LPARAM>(buf)), 8);
  EXPECT_STREQ(buf, "Marq");
  EXPECT_EQ(buf[5], '#');
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(Plugin.PlugInProc(hwnd, 2308, sizeof buf, reinterpret_cast<LPARAM>(buf)), 13);
  EXPECT_STREQ(buf, MARQUILL_VERSION_TEXT);
  EXPECT_EQ(Plugin.PlugInProc(hwnd, 2308, 0, 0), 13);
  for (UINT q : {2304u, 2305u, 2307u, 2309u, 0u, 2312u}) EXPECT_EQ(Plugin.PlugInProc(hwnd, q, 0, 0), 0) << q;
  EXPECT_EQ(Plugin.PlugInProc(hwnd, 2310, 0, 0), 1);
  EXPECT_TRUE(User.Dialogs().empty());

  // The uninstall question: Yes gives 1, No gives 0.
  for (int answer : {IDYES, IDNO}) {
    User.Reset();
    User.SetDialogAnswers({answer});
    TWatchdog dog(60000, "uninstall question");
    EXPECT_EQ(Plugin.PlugInProc(hwnd, 2311, 0, 0), answer == IDYES ? 1 : 0);
    ASSERT_EQ(User.Dialogs().size(), 1u);
    const TDialogSeen& box = User.Dialogs()[0];
    EXPECT_EQ(U8(box.Caption), "Marquill");
    EXPECT_EQ(U8(box.Text), "アンインストールしますか？");
    EXPECT_EQ(box.Buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(box.IconQuestion);
    EXPECT_EQ(box.Owner, hwnd);
  }
  // The command runs as well through the entry found by ordinal.
  Settings(kSettings);
  Host.SetText(u"abc");
  User.Reset();
  User.SetMenuKeys(MenuKeys({0, 0, 0}));
  {
    TWatchdog dog(60000, "OnCommand by ordinal");
    ProcAs<TOnCommand>(Plugin.ByOrdinal(1))(hwnd);
  }
  EXPECT_EQ(U8(Host.Text()), "> abc");
}

TEST_F(E2e, ResourcesAsTheHostReadsThem) {
  HMODULE module = Plugin.Module();
  const WORD japanese = MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT);
  ASSERT_EQ(japanese, 1041);
  // Strings 1 and 2 live in string block 1, in Japanese.
  EXPECT_NE(FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(1), japanese), nullptr);
  const wchar_t* text = nullptr;
  int n = LoadStringW(module, 1, reinterpret_cast<LPWSTR>(&text), 0);
  EXPECT_EQ(U8(std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(n))), "先頭記号を挿入します");
  n = LoadStringW(module, 2, reinterpret_cast<LPWSTR>(&text), 0);
  EXPECT_EQ(n, 40);
  EXPECT_EQ(U8(std::u16string(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(n))),
            "設定した記号[> ]['][//]などを行頭や文字先頭に挿入します\n先頭記号挿入");
  wchar_t buf[64];
  EXPECT_EQ(LoadStringW(module, Plugin.GetMenuTextID(), buf, 64), 10);

  // Bitmap 101: 16 x 16, 8 bits, 256 colours, uncompressed.
  HRSRC bitmap = FindResourceExW(module, RT_BITMAP, MAKEINTRESOURCEW(101), japanese);
  ASSERT_NE(bitmap, nullptr);
  const auto* info = static_cast<const BITMAPINFOHEADER*>(LockResource(LoadResource(module, bitmap)));
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->biSize, 40u);
  EXPECT_EQ(info->biWidth, 16);
  EXPECT_EQ(info->biHeight, 16);
  EXPECT_EQ(info->biBitCount, 8);
  EXPECT_EQ(info->biCompression, static_cast<DWORD>(BI_RGB));
  EXPECT_TRUE(info->biClrUsed == 256 || info->biClrUsed == 0);
  EXPECT_EQ(SizeofResource(module, bitmap), 40u + 256 * 4 + 16 * 16);
  // Red, blue and grey are all in the picture.
  const auto* palette = reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const BYTE*>(info) + 40);
  const BYTE* pixels = reinterpret_cast<const BYTE*>(palette + 256);
  bool red = false, blue = false, grey = false;
  for (int i = 0; i < 256; ++i) {
    const RGBQUAD c = palette[pixels[i]];
    red |= c.rgbRed > 160 && c.rgbGreen < 64 && c.rgbBlue < 64;
    blue |= c.rgbBlue > 160 && c.rgbRed < 64;
    grey |= c.rgbRed == c.rgbGreen && c.rgbGreen == c.rgbBlue && c.rgbRed > 64 && c.rgbRed < 192;
  }
  EXPECT_TRUE(red && blue && grey);
  HBITMAP loaded = LoadBitmapW(module, MAKEINTRESOURCEW(Plugin.GetBitmapID()));
  EXPECT_NE(loaded, nullptr);
  if (loaded) DeleteObject(loaded);

  // Version: the project version with a fourth part 0, in the fixed part and as FileVersion; product 0.0.0.0, the rest empty.
  EXPECT_NE(FindResourceExW(module, RT_VERSION, MAKEINTRESOURCEW(1), japanese), nullptr);
  const std::wstring path = DllPath();
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT len = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
  const std::string fixedVersion = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                                   std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                                   std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                                   std::to_string(LOWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(fixedVersion, MARQUILL_FILE_VERSION_TEXT);
  EXPECT_EQ(fixed->dwProductVersionMS, 0u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &len));
  ASSERT_GE(len, 4u);
  EXPECT_EQ(translation[0], 0x0411);
  EXPECT_EQ(translation[1], 1200);
  wchar_t* value = nullptr;
  ASSERT_TRUE(
      VerQueryValueW(block.data(), L"\\StringFileInfo\\041104B0\\FileVersion", reinterpret_cast<void**>(&value), &len));
  EXPECT_EQ(std::wstring(value), L"" MARQUILL_FILE_VERSION_TEXT);
  for (const wchar_t* name : {L"CompanyName", L"FileDescription", L"ProductName", L"ProductVersion",
                              L"OriginalFilename", L"InternalName", L"LegalCopyright"}) {
    value = nullptr;
    const std::wstring key = std::wstring(L"\\StringFileInfo\\041104B0\\") + name;
    if (VerQueryValueW(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &len) && value) {
      EXPECT_EQ(std::wstring(value), L"") << name;
    }
  }
}

TEST_F(E2e, AnErrorShowsItsMessageAndLeavesTheHostRunning) {
  // A folder where the settings file should be: the empty file cannot be written.
  ASSERT_TRUE(CreateDirectoryW(W(SettingPath()), nullptr));
  Host.SetText(u"abc");
  Command({VK_ESCAPE});
  EXPECT_EQ(User.MenuCount(), 0);
  ASSERT_EQ(User.Dialogs().size(), 1u);
  const TDialogSeen& box = User.Dialogs()[0];
  EXPECT_EQ(U8(box.Caption), "Marquill");
  EXPECT_EQ(U8(box.Text), U8(u"Error:SaveAnsiStringToFile\r\n" + SettingPath()));
  EXPECT_EQ(box.Buttons, std::vector<int>{IDOK});
  EXPECT_TRUE(box.IconError);
  EXPECT_EQ(box.Owner, Host.Hwnd());
  // The error came before redraw was switched off: it never was.
  EXPECT_EQ(RedrawSwitches(Host, 0), 0);
  EXPECT_EQ(RedrawSwitches(Host, 1), 0);
  EXPECT_EQ(Host.CountOf(HOST_SET_SCROLL_POS), 0);
  EXPECT_EQ(Host.Text(), u"abc");
  RemoveDirectoryW(W(SettingPath()));

  // An error while the menu's choice is carried out (a host asking for an
  // impossible buffer): redraw is on again before the box shows.
  Settings(kSettings);
  Host.SetCaret({1, 0});
  HWND hwnd = Host.Hwnd();
  GreedyOriginal = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(hwnd, GWLP_WNDPROC));
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&GreedyHost));
  Command(MenuKeys({0, 0, 0}));
  SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GreedyOriginal));
  ASSERT_EQ(User.Dialogs().size(), 1u);
  EXPECT_EQ(U8(User.Dialogs()[0].Caption), "Marquill");
  EXPECT_FALSE(User.Dialogs()[0].Text.empty());
  EXPECT_TRUE(User.Dialogs()[0].IconError);
  EXPECT_TRUE(User.Dialogs()[0].HostRedrawOn);
  EXPECT_EQ(RedrawSwitches(Host, 0), 1);
  EXPECT_EQ(RedrawSwitches(Host, 1), 1);
  EXPECT_EQ(Host.CountOf(HOST_SET_SCROLL_POS), 0);
  EXPECT_EQ(Host.Text(), u"abc");

  // The host goes on: the next command works.
  Command(MenuKeys({0, 0, 0}));
  EXPECT_TRUE(User.Dialogs().empty());
  EXPECT_EQ(U8(Host.Text()), "> abc");
}

TEST_F(E2e, ASymbolWithANulLosesNoText) {
  // A settings file saved as UTF-16 without a byte order mark reads as ANSI
  // text full of NULs; its entries still look valid, and their symbols hold NULs.
  const std::u16string entries = u"> \tquote\r\n";
  std::string utf16;
  for (char16_t c : entries) utf16 += std::string{static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  WriteBytes(SettingPath(), utf16);
  Host.SetText(N(u"abc¶def"));
  Host.SetCaret({1, 0});
  Command(MenuKeys({0, 0, 0}));
  ASSERT_EQ(User.MenuTree().size(), 9u);
  ASSERT_FALSE(User.MenuTree()[0].Items[0].Items.empty());
  EXPECT_EQ(U8(Host.Text()), U8(N(u"abc¶def")));
  ASSERT_EQ(User.Dialogs().size(), 1u);
  EXPECT_EQ(U8(User.Dialogs()[0].Caption), "Marquill");
  EXPECT_TRUE(User.Dialogs()[0].HostRedrawOn);
  EXPECT_EQ(Host.CountOf(HOST_INSERT_TEXT), 0);
}

// A line ending in a lone CR followed by a line that the edit leaves holding
// only its LF: the two become one CR LF line, and nothing around the block
// may be lost or overwritten.
TEST_F(E2e, LinesThatMeetAsOneCrLfLineKeepTheTextAroundThem) {
  Settings(kSettings);
  // Inside the block: the new text has fewer lines than the old one.
  Host.SetText(u"x\r\na\r> \nb\r> \n\nc\rd\nz");
  Host.SetSelection({0, 1}, {0, 8});  // lines 1 to 7
  Command(MenuKeys({2, 0}));          // 1つ削除
  EXPECT_EQ(U8(Host.Text()), U8(u"x\r\na\r\nb\r\n\nc\rd\nz"));
  EXPECT_EQ(U8(Host.SelectedText()), U8(u"a\r\nb\r\n\nc\rd\n"));
  EXPECT_EQ(Host.Caret(), Host.SelEnd());

  // Across the block's start: the line counts agree, the host's lines do not.
  // The selection starts with the line that now holds the block's first LF.
  const std::u16string startJoin = u"x\r\na\r> \n> b\n> c\nz\n";
  Host.SetText(startJoin);
  Host.SetSelection({1, 4}, {0, 2});  // lines 2 to 4, caret at the start
  Command(MenuKeys({2, 0}));
  EXPECT_EQ(U8(Host.Text()), U8(u"x\r\na\r\nb\nc\nz\n"));
  EXPECT_EQ(U8(Host.SelectedText()), U8(u"a\r\nb\nc\n"));
  EXPECT_EQ(Host.Caret(), (HostPos{0, 1}));

  // The caret alone on that line: it ends at the end of the line its LF joined.
  Host.SetText(startJoin);
  Host.SetCaret({2, 2});
  Command(MenuKeys({2, 0}));
  EXPECT_EQ(U8(Host.Text()), U8(u"x\r\na\r\n> b\n> c\nz\n"));
  EXPECT_FALSE(Host.HasSelection());
  EXPECT_EQ(Host.Caret(), (HostPos{1, 1}));
}

// Every refusal comes before anything is written, and leaves the user's view
// as it was: the text, the selection with the caret on its side, the scroll
// value; then the box says why. Host texts end at their first NUL: selected
// lines holding one would be read and written back cut short, a symbol
// holding one would reach the document cut short, and a NUL in the line
// before the block hides whether that line ends in a lone CR, which the
// block's first line, left holding only its LF, would join. This host
// scrolls to every caret it is given, so the view is only as it was when the
// value is handed back after the selection. Hosts that answer more than the
// text needs and leave zeros or junk after the NUL that ends it refuse the
// same and no more.
TEST_F(E2e, EveryRefusalLeavesTextSelectionAndViewAsTheyWere) {
  Settings(Cat({kSettings, u"\r\n", std::u16string(u"x\0y\tヌル", 6)}));  // entry 5: a symbol holding a NUL
  const std::u16string inSelection(u"> a\n> b\0c\n> d\nz", 16);
  const std::u16string plain = u"ab\r\n> cd\nef";
  const std::u16string beforeBlock(u"a\0b\r> \n> c\nz", 12);
  struct TCase {
    const char* Name;
    const std::u16string& Doc;
    HostPos Anchor, Caret;
    std::vector<int> Keys;
    const std::u16string& Box;
  };
  const TCase cases[] = {
      {"NUL in the selection, deleting", inSelection, {0, 3}, {1, 0}, {2, 0}, kNulInSelection},
      {"NUL in the selection, inserting", inSelection, {1, 0}, {0, 3}, {0, 0, 0}, kNulInSelection},
      {"NUL in the symbol, forward", plain, {1, 0}, {2, 1}, {0, 0, 5}, kNulInText},
      {"NUL in the symbol, backward", plain, {2, 1}, {1, 0}, {1, 1, 5}, kNulInText},
      {"NUL in the symbol, caret alone", plain, {1, 1}, {1, 1}, {0, 0, 5}, kNulInText},
      {"NUL before the block, forward", beforeBlock, {0, 1}, {1, 2}, {2, 0}, kNulBeforeBlock},
      {"NUL before the block, backward", beforeBlock, {1, 2}, {0, 1}, {2, 0}, kNulBeforeBlock},
      {"NUL before the block, caret alone", beforeBlock, {1, 1}, {1, 1}, {2, 0}, kNulBeforeBlock},
  };
  Host.OnHostMessage = [this](const TSimMessage& m) {
    if (m.Msg == HOST_SET_SELECTION || m.Msg == HOST_SET_CARET_POS || m.Msg == HOST_SELECT_CHARS)
      Host.SetScrollValue({0, Host.Caret().y});
  };
  for (const TSimReadProfile profile : {rpExact, rpGenerousJunk, rpGenerousZeros}) {
    Host.SetReadProfile(profile);
    for (const TCase& c : cases) {
      SCOPED_TRACE(std::string(c.Name) + ", read profile " + std::to_string(static_cast<int>(profile)));
      Host.SetText(c.Doc);
      Host.SetSelection(c.Anchor, c.Caret);
      Host.SetScrollValue({3, 40});
      Command(MenuKeys(c.Keys));
      EXPECT_EQ(U8(Host.Text()), U8(c.Doc));
      EXPECT_EQ(Host.CountOf(HOST_INSERT_TEXT), 0);
      EXPECT_EQ(Host.Anchor(), c.Anchor);
      EXPECT_EQ(Host.Caret(), c.Caret);
      EXPECT_EQ(Host.ScrollValue().first, 3);
      EXPECT_EQ(Host.ScrollValue().second, 40);
      EXPECT_EQ(Host.CountOf(HOST_SET_SCROLL_POS), 1);
      ASSERT_EQ(User.Dialogs().size(), 1u);
      const TDialogSeen& box = User.Dialogs()[0];
      EXPECT_EQ(U8(box.Caption), "Marquill");
      EXPECT_EQ(U8(box.Text), U8(c.Box));
      EXPECT_TRUE(box.IconError);
      EXPECT_TRUE(box.HostRedrawOn);
    }
  }
  Host.OnHostMessage = nullptr;
}

// With nothing selected, the caret's own line is edited before its NUL; the
// rest stays.
TEST_F(E2e, TheCaretsLineIsEditedUpToItsNul) {
  Settings(kSettings);
  const std::u16string doc(u"> a\n> b\0c\n> d\nz", 16);
  for (const TSimReadProfile profile : {rpExact, rpGenerousJunk, rpGenerousZeros}) {
    SCOPED_TRACE(static_cast<int>(profile));
    Host.SetReadProfile(profile);
    Host.SetText(doc);
    Host.SetCaret({3, 1});
    Command(MenuKeys({2, 0}));
    EXPECT_EQ(U8(Host.Text()), U8(std::u16string(u"> a\nb\0c\n> d\nz", 14)));
    EXPECT_TRUE(User.Dialogs().empty());
    EXPECT_EQ(Host.Caret(), (HostPos{1, 1}));
  }
}

// A host answering more than the text needs, with '#' or zeros after the
// NUL that ends it: ordinary text is edited as on any host.
TEST_F(E2e, AGenerousHostEditsOrdinaryText) {
  Settings(kSettings);
  for (const std::u16string_view fill : {u"#", u""}) {
    Host.SetReadQuirk(srOversize);
    Host.SetOversize(5, fill);
    Host.SetText(u"x\n> a\n> b");
    Host.SetSelection({0, 1}, {1, 2});  // lines 1 and 2
    Command(MenuKeys({2, 0}));          // 1つ削除
    EXPECT_EQ(U8(Host.Text()), "x\na\nb");
    EXPECT_TRUE(User.Dialogs().empty());
    EXPECT_EQ(U8(Host.SelectedText()), "a\nb");
  }
}

// Without a NUL in the line before, the block's first line, left holding
// only its LF, joins that line's lone CR, and the block is selected from that
// line.
TEST_F(E2e, ALineLeftHoldingOnlyItsLfJoinsTheLoneCrBefore) {
  Settings(kSettings);
  Host.SetText(u"ab\r> \n> c\nz");
  Host.SetSelection({0, 1}, {1, 2});
  Command(MenuKeys({2, 0}));
  EXPECT_EQ(U8(Host.Text()), "ab\r\nc\nz");
  EXPECT_EQ(U8(Host.SelectedText()), "ab\r\nc\n");
  EXPECT_TRUE(User.Dialogs().empty());
}

TEST_F(E2e, OldSettingsFileIsMigratedBeforeTheMenuOpens) {
  const std::u16string old = Folder / u"MarquillSetting.dat";
  WriteBytes(old, Cp932(u"%\t旧設定\r\n"));
  Host.SetText(u"abc");
  Command(MenuKeys({0, 0, 0}), {IDYES});
  ASSERT_EQ(User.Dialogs().size(), 1u);
  const TDialogSeen& box = User.Dialogs()[0];
  EXPECT_EQ(U8(box.Caption), "Marquill Plugin 設定ファイル移行");
  EXPECT_EQ(box.Buttons, (std::vector<int>{IDYES, IDNO}));
  EXPECT_EQ(box.Owner, Host.Hwnd());
  EXPECT_TRUE(box.HostRedrawOn);  // asked while loading, before redraw goes off
  ASSERT_EQ(User.MenuTree().size(), 9u);
  ASSERT_EQ(User.MenuTree()[0].Items[0].Items.size(), 1u);
  EXPECT_EQ(U8(User.MenuTree()[0].Items[0].Items[0].Caption), "旧設定");
  EXPECT_EQ(Host.Text(), u"%abc");
  EXPECT_EQ(ReadBytes(SettingPath()), "%\t\x8b\x8c\x90\xdd\x92\xe8\r\n");
  EXPECT_EQ(ReadBytes(Folder / u"MarquillSetting_dat.bak"), "%\t\x8b\x8c\x90\xdd\x92\xe8\r\n");
}

// The bytes of a text in UTF-16, little or big endian, after its mark.
std::string Utf16File(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

// Japanese captions, symbols outside code page 932 (», ▶ and one beyond
// U+FFFF; → is in it), and an access key and shortcut column in a caption.
const std::u16string kUnicodeSettings =
    u"» \t引用(&Q)\\tCtrl+1\r\n"
    u"→ \t矢印\r\n"
    u"▶ \t三角\r\n"
    u"\U0001F4CC \t押しピン\r\n";
const std::vector<std::u16string> kUnicodeCaptions = {u"引用(&Q)\tCtrl+1", u"矢印", u"三角", u"押しピン"};

struct TMarkedFile {
  const char* What;
  std::string Bytes;
};

std::vector<TMarkedFile> MarkedSettingFiles() {
  return {{"UTF-8", "\xEF\xBB\xBF" + Utf16ToUtf8Lossy(kUnicodeSettings)},
          {"UTF-16 LE", Utf16File(kUnicodeSettings, false)},
          {"UTF-16 BE", Utf16File(kUnicodeSettings, true)}};
}

TEST_F(E2e, SettingsFilesWithAByteOrderMark) {
  for (const TMarkedFile& file : MarkedSettingFiles()) {
    SCOPED_TRACE(file.What);
    WriteBytes(SettingPath(), file.Bytes);

    // Every entry is in the menu under its caption; the mark is no part of the first.
    Host.SetText(N(u"a¶b"));
    Host.SetSelection({0, 0}, {1, 1});
    Command(MenuKeys({0, 0, 0}));  // 行頭に挿入 > 全ての行 > first entry
    std::vector<std::string> seen;
    Describe(User.MenuTree(), "", seen);
    EXPECT_EQ(seen, ExpectedMenu(kUnicodeCaptions));
    EXPECT_TRUE(User.Dialogs().empty());
    EXPECT_EQ(U8(Host.Text()), U8(N(u"»␣a¶»␣b")));

    // Each symbol is inserted as written, and one deletion pass takes it off again.
    const std::u16string symbols[] = {u"» ", u"→ ", u"▶ ", u"\U0001F4CC "};
    for (int i = 0; i < 4; ++i) {
      Host.SetText(N(u"x¶␣y"));
      Host.SetSelection({0, 0}, {2, 1});
      Command(MenuKeys({0, 0, i}));  // 行頭に挿入 > 全ての行 > entry i
      EXPECT_EQ(U8(Host.Text()), U8(symbols[i] + N(u"x¶") + symbols[i] + N(u"␣y")));
      Host.SetSelection({0, 0}, {static_cast<int32_t>(Host.Line(1).size()), 1});
      Command(MenuKeys({2, 0}));  // 1つ削除
      EXPECT_EQ(U8(Host.Text()), U8(N(u"x¶␣y")));
    }
    EXPECT_EQ(ReadBytes(SettingPath()), file.Bytes) << "the file is only read";
  }

  // A file that is only a mark is an empty list.
  for (std::string mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"}) {
    WriteBytes(SettingPath(), mark);
    Host.SetText(u"> x");
    Command(MenuKeys({2, 0}));
    std::vector<std::string> seen;
    Describe(User.MenuTree(), "", seen);
    EXPECT_EQ(seen, ExpectedMenu({}));
    EXPECT_EQ(Host.Text(), u"> x");
    EXPECT_TRUE(User.Dialogs().empty());
    EXPECT_EQ(ReadBytes(SettingPath()), mark);
  }

  // Malformed text after a mark still loads; the bad bytes become U+FFFD.
  WriteBytes(SettingPath(), "\xEF\xBB\xBF> \t\xE5\xBC\x95\xFF\r\n");
  Host.SetText(u"x");
  Command(MenuKeys({0, 0, 0}));
  ASSERT_EQ(User.MenuTree().size(), 9u);
  ASSERT_EQ(User.MenuTree()[0].Items[0].Items.size(), 1u);
  EXPECT_EQ(U8(User.MenuTree()[0].Items[0].Items[0].Caption), U8(u"引\uFFFD"));
  EXPECT_EQ(Host.Text(), u"> x");
  EXPECT_TRUE(User.Dialogs().empty());
}

TEST_F(E2e, MigrationKeepsTheOldFilesBytes) {
  // Marked files keep their encoding; ANSI bytes that the code page cannot
  // decode are copied as they are.
  std::vector<TMarkedFile> files = MarkedSettingFiles();
  files.push_back({"ANSI with undecodable bytes", "> \t\x88\xf8\x97\x70\r\n\xff\xfe\t\x85\x80\r\n"});
  const std::u16string old = Folder / u"MarquillSetting.dat";
  for (const TMarkedFile& file : files) {
    SCOPED_TRACE(file.What);
    for (const auto& name : FolderEntries(Folder.Path())) RemoveTree(Folder / name);
    for (bool currentToo : {false, true}) {
      WriteBytes(old, file.Bytes);
      if (currentToo) WriteBytes(SettingPath(), "cur\tcurrent\r\n");
      Host.SetText(u"x");
      Command(MenuKeys({4}), {IDYES});  // キャンセル, after the migration question
      ASSERT_EQ(User.Dialogs().size(), 1u);
      EXPECT_EQ(ReadBytes(SettingPath()), file.Bytes);
      EXPECT_EQ(ReadBytes(Folder / u"MarquillSetting_dat.bak"), file.Bytes);
      EXPECT_FALSE(IsFile(old));
      if (currentToo) {
        EXPECT_EQ(ReadBytes(Folder / u"Marquill_Setting_txt.bak"), "cur\tcurrent\r\n");
      }
      RemoveTree(SettingPath());
    }
  }
  // The migrated marked file gives the same menu as before.
  WriteBytes(old, MarkedSettingFiles()[1].Bytes);
  Command(MenuKeys({0, 0, 3}), {IDYES});
  std::vector<std::string> seen;
  Describe(User.MenuTree(), "", seen);
  EXPECT_EQ(seen, ExpectedMenu(kUnicodeCaptions));
  EXPECT_EQ(U8(Host.Text()), U8(u"\U0001F4CC x"));
}

TEST_F(E2e, MoreThanAThousandEntries) {
  // 1005 valid entries: each submenu lists the first 1000, every id names one entry.
  std::u16string settings;
  for (int i = 0; i < 1005; ++i) {
    const std::u16string n = U(std::to_wstring(i));
    settings += u"s" + n + u":\t" + n + u"\r\n";
  }
  Settings(settings);
  Host.SetText(N(u"a¶¶b"));
  Host.SetSelection({0, 0}, {1, 2});
  // 行頭に挿入 > 空白行を除く > first entry: entry 0 in the non-blank lines.
  Command(MenuKeys({0, 1, 0}));
  ASSERT_EQ(User.MenuTree().size(), 9u);
  const auto& head = User.MenuTree()[0].Items;
  ASSERT_EQ(head.size(), 4u);
  for (const TMenuItemSeen& sub : head) {
    ASSERT_EQ(sub.Items.size(), 1000u);
    EXPECT_EQ(sub.Items.back().Caption, u"999");
  }
  EXPECT_EQ(head[1].Items[0].Id, static_cast<UINT>(ID_HEAD_SKIP_BLANK));
  EXPECT_EQ(User.MenuTree()[4].Items[2].Items.size(), 1000u);
  EXPECT_EQ(U8(Host.Text()), U8(N(u"s0:a¶¶s0:b")));

  // The last listed entry: Up from the first item wraps to the last.
  Host.SetText(N(u"a¶¶b"));
  Host.SetSelection({0, 0}, {1, 2});
  Command({VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT, VK_UP, VK_RETURN});
  EXPECT_EQ(U8(Host.Text()), U8(N(u"s999:a¶¶s999:b")));

  // The deletions still use the whole list, beyond the listed entries.
  Host.SetText(N(u"s1004:s3:x"));
  Host.SetCaret({0, 0});
  Command(MenuKeys({2, 1}));
  EXPECT_EQ(U8(Host.Text()), "x");
}

}  // namespace

int main(int argc, char** argv) {
  wchar_t record[MAX_PATH * 2] = {};
  if (GetEnvironmentVariableW(kChildVariable, record, MAX_PATH * 2) > 0) {
    // Started by the plug-in as the host editor's program: write down the command line.
    const std::wstring path = record;
    const std::wstring line = GetCommandLineW();
    const std::wstring partial = path + L".part";
    HANDLE f = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      WriteFile(f, line.data(), static_cast<DWORD>(line.size() * sizeof(wchar_t)), &written, nullptr);
      CloseHandle(f);
      MoveFileW(partial.c_str(), path.c_str());
    }
    // Wait for the go file, or for the test to remove the folder (it may do so
    // before the go file is seen); a program left waiting holds the test's output open.
    const std::wstring go = path + L".go";
    for (int i = 0; i < 400 && GetFileAttributesW(go.c_str()) == INVALID_FILE_ATTRIBUTES &&
                    GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
         ++i)
      Sleep(50);
    return 0;
  }
  UseUnmanagedWindowsUnderWine();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

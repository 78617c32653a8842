// Message-sequence logs: what the host sees of a few representative commands,
// every host message in order with its parameters, records and answers,
// compared with the readable logs stored in logs/. A difference writes the
// actual log beside the stored one as NAME.log.new, to diff and accept by renaming.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include "PluginHarness.h"
#include "Utf.h"

#ifndef MARQUILL_LOG_DIR
#error "MARQUILL_LOG_DIR must name the folder of the stored logs"
#endif

namespace {

// Started by "設定編集", e2e_tests writes its command line to the file this names.
constexpr wchar_t kChildVariable[] = L"MARQUILL_E2E_COMMAND_LINE_FILE";

const char* NameOf(UINT msg) {
  switch (msg) {
    case HOST_QUERY_COMMAND_STATUS: return "QUERY_COMMAND_STATUS";
    case HOST_EVENT_REPLY: return "EVENT_REPLY";
    case HOST_GET_LINE_COUNT: return "GET_LINE_COUNT";
    case HOST_GET_CARET_POS: return "GET_CARET_POS";
    case HOST_GET_SCROLL_POS: return "GET_SCROLL_POS";
    case HOST_CONVERT_POS: return "CONVERT_POS";
    case HOST_SET_CARET_POS: return "SET_CARET_POS";
    case HOST_SET_SCROLL_POS: return "SET_SCROLL_POS";
    case HOST_RUN_COMMAND: return "RUN_COMMAND";
    case HOST_GET_SEL_START: return "GET_SEL_START";
    case HOST_GET_SEL_END: return "GET_SEL_END";
    case HOST_SELECT_CHARS: return "SELECT_CHARS";
    case HOST_SET_SELECTION: return "SET_SELECTION";
    case HOST_SET_REDRAW: return "SET_REDRAW";
    case HOST_GET_SEL_TYPE: return "GET_SEL_TYPE";
    case HOST_GET_SEL_TEXT: return "GET_SEL_TEXT";
    case HOST_GET_LINE_TEXT: return "GET_LINE_TEXT";
    case HOST_INSERT_TEXT: return "INSERT_TEXT";
    case HOST_READ_SETTING: return "READ_SETTING";
    default: return "?";
  }
}

// Messages whose wParam is an address: the log shows "&", never the value.
bool WParamIsAddress(UINT msg) {
  return msg == HOST_CONVERT_POS || msg == HOST_SET_SELECTION || msg == HOST_GET_LINE_TEXT;
}

std::string Bytes(std::string_view bytes) {
  std::string out;
  char hex[4];
  for (unsigned char c : bytes) {
    std::snprintf(hex, sizeof hex, "%02x", c);
    out += hex;
  }
  return out;
}

std::string Pos(HostPos p) { return "(" + std::to_string(p.x) + "," + std::to_string(p.y) + ")"; }

// Replaces every occurrence of a run-specific path by a placeholder.
std::u16string Placeheld(std::u16string s, const std::vector<std::pair<std::u16string, std::u16string>>& paths) {
  for (const auto& [path, mark] : paths) {
    if (path.empty()) continue;
    for (size_t at = s.find(path); at != std::u16string::npos; at = s.find(path, at + mark.size()))
      s.replace(at, path.size(), mark);
  }
  return s;
}

class MessageLog : public ::testing::Test {
protected:
  TPluginModule Plugin{WindowsPath(MARQUILL_DLL_PATH)};
  TTempFolder Folder;
  TSimHost Host;
  TUserDriver User{Host};
  std::vector<std::string> Lines;

  void SetUp() override { Host.SetPlugInsFolder(Folder.Path()); }

  std::u16string HostProgram() const {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return U(self);
  }
  std::string Text(std::u16string_view s) const {
    return QuotedVisible(Placeheld(std::u16string(s), {{HostProgram(), u"<host program>"}, {Folder.Path(), u"<plug-in folder>"}}));
  }

  // One line per host message, with what the record held when the host answered.
  std::string Digest(const TSimMessage& m) const {
    std::string line = std::to_string(m.Msg) + " " + NameOf(m.Msg) + " w=";
    line += WParamIsAddress(m.Msg) ? "&" : std::to_string(static_cast<long long>(static_cast<int32_t>(m.WParam)));
    switch (m.Msg) {
      case HOST_GET_SEL_START: case HOST_GET_SEL_END: case HOST_GET_CARET_POS: case HOST_SET_CARET_POS:
        line += " pos=" + Pos(m.Pos);
        break;
      case HOST_CONVERT_POS: line += " in=" + Pos(m.Pos) + " out=" + Pos(m.Pos2); break;
      case HOST_SET_SELECTION: line += " anchor=" + Pos(m.Pos) + " active=" + Pos(m.Pos2); break;
      case HOST_GET_SCROLL_POS: case HOST_SET_SCROLL_POS: {
        const HostScrollValue v = Host.ScrollValue();
        line += " scroll=(" + std::to_string(v.first) + "," + std::to_string(v.second) + ")";
        break;
      }
      case HOST_GET_SEL_TEXT: line += m.HasBuffer ? " buffer" : " size-request"; break;
      case HOST_GET_LINE_TEXT:
        line += " size=" + std::to_string(m.Count) + " flags=" + std::to_string(m.Flags) + " line=" +
                std::to_string(m.Line) + (m.HasBuffer ? " buffer" : "");
        break;
      case HOST_INSERT_TEXT: line += " text=" + Text(m.Text); break;
      case HOST_READ_SETTING: {
        const TSimSettingRequest& r = Host.LastSettingRequest();
        char words[64];
        std::snprintf(words, sizeof words, " size=%u words=%08x,%x,%x kind=%u", r.Size, r.HostWord1, r.HostWord2,
                      r.HostWord3, r.Kind);
        line += words + std::string(" name=") + Text(r.Name) + " bytes=" + std::to_string(r.BufferBytes) +
                (r.HasBuffer ? " buffer" : "");
        break;
      }
      default: break;
    }
    return line + " -> " + std::to_string(static_cast<long long>(static_cast<int32_t>(m.Result)));
  }

  void Note(const std::string& line) { Lines.push_back(line); }

  void Settings(std::u16string_view text) { WriteBytes(Folder / u"Marquill_Setting.txt", Cp932(text)); }

  // Runs the command as a user: keys in the menu, buttons in the boxes.
  void Command(std::vector<UINT> keys, std::vector<int> answers = {}) {
    User.Reset();
    User.SetMenuKeys(std::move(keys));
    User.SetDialogAnswers(std::move(answers));
    Host.ClearLog();
    size_t boxesNoted = 0;
    // A box shows between two messages: it is noted before the first message after it.
    auto noteBoxes = [&] {
      for (; boxesNoted < User.Dialogs().size(); ++boxesNoted) {
        const TDialogSeen& box = User.Dialogs()[boxesNoted];
        std::string buttons;
        for (int b : box.Buttons) buttons += (buttons.empty() ? "" : ",") + std::to_string(b);
        Note("box caption=" + Text(box.Caption) + " text=" + Text(box.Text) + " buttons=" + buttons +
             " answer=" + std::to_string(box.Answer));
      }
    };
    Host.OnHostMessage = [&](const TSimMessage& m) {
      noteBoxes();
      Note(Digest(m));
    };
    {
      TWatchdog dog(60000, "OnCommand");
      Plugin.OnCommand(Host.Hwnd());
    }
    Host.OnHostMessage = nullptr;
    noteBoxes();
  }

  void NoteDocument() {
    Note("document text=" + Text(Host.Text()) + " anchor=" + Pos(Host.Anchor()) + " caret=" + Pos(Host.Caret()));
  }
  void NoteFiles() {
    for (const std::u16string& name : FolderEntries(Folder.Path()))
      Note("file " + Text(name) + " bytes=" + Bytes(ReadBytes(Folder / name).value_or("?")));
  }

  // Compares with logs/NAME.log; on a difference writes logs/NAME.log.new.
  void Compare(const char* name) {
    std::string actual;
    for (const std::string& line : Lines) actual += line + "\n";
    const std::u16string stored = U(WindowsPath(std::string(MARQUILL_LOG_DIR) + "/" + name + ".log"));
    const std::optional<std::string> expected = ReadBytes(stored);
    if (expected == actual) {
      DeleteFileW(W(stored + u".new"));
      return;
    }
    WriteBytes(stored + u".new", actual);
    ADD_FAILURE() << "the host saw other messages than logs/" << name << ".log holds; the actual log is in " << name
                  << ".log.new:\n"
                  << actual;
  }
};

// Entries "> ", "'", "//" and "#" between invalid lines.
const std::u16string kSettings = u"> \t引用\r\n'\tコメント\r\nno tab\r\n//\tC言語\r\n#\tシャープ\r\n";

TEST_F(MessageLog, InsertionInACrLfTextWithABackwardSelection) {
  Settings(kSettings);
  Note("# 行頭に挿入 > 全ての行 > \"> \", on lines 1 to 3 of a CR LF text selected from (2,3) back to (1,1)");
  Host.SetText(u"head\r\none\r\n  two\r\n\u3000three\r\ntail");
  Host.SetSelection({2, 3}, {1, 1});
  Host.SetScrollValue({5, 6});
  Command(MenuKeys({0, 0, 0}));
  NoteDocument();
  Compare("insert-backward-crlf");
}

TEST_F(MessageLog, DeleteAllWithNothingSelected) {
  Settings(kSettings);
  Note("# 先頭文字を削除 > 全て削除, caret at (4,1), nothing selected");
  Host.SetText(u"x\r\n> // > y\r\n# z");
  Host.SetCaret({4, 1});
  Command(MenuKeys({2, 1}));
  NoteDocument();
  Compare("delete-all");
}

TEST_F(MessageLog, EditSettings) {
  Settings(kSettings);
  Note("# 設定編集: the host program started with the quoted settings path");
  Host.SetText(u"abc");
  TTempFolder scratch;
  const std::u16string record = scratch / u"command-line.txt";
  SetEnvironmentVariableW(kChildVariable, W(record));
  Command(MenuKeys({3}));
  SetEnvironmentVariableW(kChildVariable, nullptr);
  std::string bytes;
  for (int i = 0; i < 300 && bytes.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    bytes = ReadBytes(record).value_or("");
  }
  WriteBytes(record + u".go", "");
  Note("started " + Text(std::u16string(reinterpret_cast<const char16_t*>(bytes.data()), bytes.size() / 2)));
  NoteDocument();
  Compare("edit-settings");
}

TEST_F(MessageLog, MigrationAnsweredYes) {
  Note("# only the old settings file: the migration question answered Yes, then 行頭に挿入 > 全ての行 > first entry");
  WriteBytes(Folder / u"MarquillSetting.dat", Cp932(u"%\t旧設定\r\n"));
  Host.SetText(u"abc\r\ndef");
  Host.SetSelection({0, 0}, {1, 1});
  Command(MenuKeys({0, 0, 0}), {IDYES});
  NoteDocument();
  NoteFiles();
  Compare("migration-yes");
}

}  // namespace

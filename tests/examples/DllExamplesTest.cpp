// Runs every golden example through the built Marquill.dll in the simulated
// host, as a user would: the example's symbols in the settings file, the whole
// document selected, the menu item chosen with keys. One process, one loaded
// library for all examples. A mismatch writes the actual results as X.new.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "ExampleFile.h"
#include "PluginHarness.h"
#include "Utf.h"

#if !defined(MARQUILL_EXAMPLES_DIR) || !defined(MARQUILL_DLL_PATH)
#error "MARQUILL_EXAMPLES_DIR and MARQUILL_DLL_PATH must be defined"
#endif

namespace {

std::u16string Folder() { return U(WindowsPath(MARQUILL_EXAMPLES_DIR)); }

std::vector<std::string> Names() {
  std::vector<std::string> entries;
  for (const std::u16string& e : FolderEntries(Folder())) entries.push_back(Utf16ToUtf8Lossy(e));
  return ExampleNames(std::move(entries));
}

// The menu path of an edit: "行頭に挿入" / "文字先頭位置に挿入" › target ›
// entry 0, or "先頭文字を削除" › "1つ削除" | "全て削除" | "指定して削除" › entry 0.
std::vector<int> MenuPathOf(const TEdit& edit) {
  switch (edit.Kind) {
    case ekInsert:
      return {edit.Position == ipLineHead ? 0 : 1, static_cast<int>(edit.Target), 0};
    case ekDeleteOnce:
      return {2, 0};
    case ekDeleteAll:
      return {2, 1};
    case ekDeleteGiven:
      return {2, 2, 0};
  }
  return {4};
}

// The settings file's entries: one for insert and delete, the -e symbols in order otherwise.
std::u16string SettingsOf(const TEdit& edit) {
  const std::vector<std::u16string> symbols =
      edit.Kind == ekInsert || edit.Kind == ekDeleteGiven ? std::vector<std::u16string>{edit.Symbol} : edit.Symbols;
  std::u16string text;
  for (size_t i = 0; i < symbols.size(); ++i) text += symbols[i] + u"\t記号" + Utf8ToUtf16(std::to_string(i)).value() + u"\r\n";
  return text;
}

// The settings file's bytes: code page 932 where it holds the symbols, as
// users keep it; otherwise UTF-8 with a byte order mark.
std::string SettingsBytes(const std::u16string& text) {
  const std::string ansi = Cp932(text);
  const int n = MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  std::wstring back(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(932, 0, ansi.data(), static_cast<int>(ansi.size()), back.data(), n);
  if (U(back) == text) return ansi;
  return "\xEF\xBB\xBF" + Utf16ToUtf8(text).value();
}

class DllExamples : public ::testing::TestWithParam<std::string> {
protected:
  static void SetUpTestSuite() {
    Plugin = std::make_unique<TPluginModule>(WindowsPath(MARQUILL_DLL_PATH));
    PlugIns = std::make_unique<TTempFolder>();
    Host = std::make_unique<TSimHost>();
    User = std::make_unique<TUserDriver>(*Host);
    Host->SetPlugInsFolder(PlugIns->Path());
  }
  static void TearDownTestSuite() {
    User.reset();
    Host.reset();
    PlugIns.reset();
    Plugin.reset();
  }

  // The document after the edit chosen from the menu with `text` all selected.
  static std::u16string ThroughDll(const TEdit& edit, const std::u16string& text) {
    WriteBytes(*PlugIns / u"Marquill_Setting.txt", SettingsBytes(SettingsOf(edit)));
    Host->SetText(text);
    const int32_t last = Host->LineCount() - 1;
    Host->SetSelection({0, 0}, {Host->LineLength(last), last});
    User->Reset();
    User->SetMenuKeys(MenuKeys(MenuPathOf(edit)));
    Host->ClearLog();
    TWatchdog dog(60000, "OnCommand");
    Plugin->OnCommand(Host->Hwnd());
    return Host->Text();
  }

  static std::unique_ptr<TPluginModule> Plugin;
  static std::unique_ptr<TTempFolder> PlugIns;
  static std::unique_ptr<TSimHost> Host;
  static std::unique_ptr<TUserDriver> User;
};

std::unique_ptr<TPluginModule> DllExamples::Plugin;
std::unique_ptr<TTempFolder> DllExamples::PlugIns;
std::unique_ptr<TSimHost> DllExamples::Host;
std::unique_ptr<TUserDriver> DllExamples::User;

TEST_P(DllExamples, ThroughTheMenu) {
  const std::u16string file = Folder() + u"\\" + Utf8ToUtf16(GetParam()).value();
  const auto bytes = ReadBytes(file);
  ASSERT_TRUE(bytes.has_value()) << GetParam();
  TExample example;
  std::string error;
  ASSERT_TRUE(ParseExample(*bytes, example, error)) << GetParam() << ": " << error;
  if (!example.ForDll) GTEST_SKIP() << "not an example for the DLL";
  std::vector<std::u16string> actual;
  bool differs = false;
  for (const TExampleCase& c : example.Cases) {
    SCOPED_TRACE(GetParam() + ":" + std::to_string(c.Line) + " " + c.Heading + " (Marquill.dll)");
    TEdit edit;
    ASSERT_TRUE(EditFromArguments(c.Arguments, edit, error)) << error;
    actual.push_back(ThroughDll(edit, example.Input));
    if (actual.back() != c.Expected) {
      differs = true;
      ADD_FAILURE() << "got:\n" << RenderBlock(actual.back()) << "expected:\n" << RenderBlock(c.Expected);
    }
    // The engine in this build gives the same.
    EXPECT_EQ(Utf16ToUtf8Lossy(ApplyEdit(example.Input, edit)), Utf16ToUtf8Lossy(c.Expected)) << "engine";
    if (example.BreaksMatter) continue;
    const std::u16string swapped = ThroughDll(edit, SwapLineEnds(example.Input));
    EXPECT_EQ(Utf16ToUtf8Lossy(swapped), Utf16ToUtf8Lossy(SwapLineEnds(c.Expected))) << "with CR LF and LF swapped";
  }
  if (differs) {
    WriteBytes(file + u".new", RenderExample(example, actual));
    ADD_FAILURE() << "actual results written to " << GetParam() << ".new";
  }
}

INSTANTIATE_TEST_SUITE_P(Files, DllExamples, ::testing::ValuesIn(Names()), [](const auto& info) {
  std::string name = info.param.substr(0, info.param.size() - 8);
  for (char& c : name)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) c = '_';
  return name;
});

}  // namespace

int main(int argc, char** argv) {
  UseUnmanagedWindowsUnderWine();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

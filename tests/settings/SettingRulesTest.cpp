// The pure settings decisions as tables.
#include "SettingRulesUnit.h"

#include <gtest/gtest.h>

#include "Errors.h"
#include "FileNameUnit.h"
#include "SpecialFolderKeys.h"

TEST(SettingRules, PluginFolderFromHostAnswer) {
  const std::u16string host = u"D:\\Ed\\ed.exe";
  EXPECT_EQ(PluginFolderFromHostAnswer(u"C:\\Data\\PlugIns", host), u"C:\\Data\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"C:\\Data\\PlugIns\\", host), u"C:\\Data\\PlugIns\\");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"", host), u"D:\\Ed\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"", u"C:\\Tools\\Editor\\editor.exe"), u"C:\\Tools\\Editor\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"PlugIns", host), u"D:\\Ed\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u".\\PlugIns\\", host), u"D:\\Ed\\PlugIns\\");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"..\\PlugIns", host), u"D:\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"..\\..\\PlugIns", host), u"");
  // Malformed answers are used unchanged.
  EXPECT_EQ(PluginFolderFromHostAnswer(u"C:\\Da\\\\ta", host), u"C:\\Da\\\\ta");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"Plug\\\\Ins", host), u"Plug\\\\Ins");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"\\PlugIns", host), u"\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"\\\\srv\\share\\p", host), u"\\\\srv\\share\\p");
  // Host program in a drive root or on a share.
  EXPECT_EQ(PluginFolderFromHostAnswer(u"PlugIns", u"C:\\ed.exe"), u"C:\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"", u"C:\\ed.exe"), u"C:\\PlugIns");
  EXPECT_EQ(PluginFolderFromHostAnswer(u"..\\p", u"\\\\srv\\share\\ed\\ed.exe"), u"\\\\srv\\share\\p");
  // A host program folder that is not absolute resolves nothing.
  EXPECT_EQ(PluginFolderFromHostAnswer(u"PlugIns", u"ed.exe"), u"");

  EXPECT_EQ(ExtractFileDir(u"C:\\Tools\\ed.exe"), u"C:\\Tools");
  EXPECT_EQ(ExtractFileDir(u"C:\\ed.exe"), u"C:\\");
  EXPECT_EQ(ExtractFileDir(u"ed.exe"), u"");

  EXPECT_EQ(SettingPathInFolder(u"C:\\Data\\PlugIns", SettingFileName), u"C:\\Data\\PlugIns\\Marquill_Setting.txt");
  EXPECT_EQ(SettingPathInFolder(u"C:\\Data\\PlugIns\\", SettingFileName), u"C:\\Data\\PlugIns\\Marquill_Setting.txt");
  EXPECT_EQ(SettingPathInFolder(u"", SettingFileName), u"\\Marquill_Setting.txt");
  EXPECT_EQ(SettingPathInFolder(u"D:\\Ed\\PlugIns", OldSettingFileName), u"D:\\Ed\\PlugIns\\MarquillSetting.dat");
}

TEST(SettingRules, Redirection) {
  const std::u16string ad = u"C:\\Users\\user\\AppData\\Roaming";
  const std::u16string pf86 = u"C:\\Program Files (x86)";
  EXPECT_EQ(RedirectPath(u"C:\\Program Files (x86)\\Editor\\PlugIns\\Marquill_Setting.txt", pf86, ad, 6),
            u"C:\\Users\\user\\AppData\\Roaming\\Editor\\PlugIns\\Marquill_Setting.txt");
  EXPECT_EQ(RedirectPath(u"C:\\Program Files (x86)\\Editor\\PlugIns\\Marquill_Setting.txt", pf86, ad, 5),
            u"C:\\Program Files (x86)\\Editor\\PlugIns\\Marquill_Setting.txt");
  EXPECT_EQ(RedirectPath(u"C:\\Program Files (x86)\\E\\x.txt", pf86, ad, 0), u"C:\\Program Files (x86)\\E\\x.txt");
  EXPECT_EQ(RedirectPath(u"C:\\Data\\PlugIns\\Marquill_Setting.txt", pf86, ad, 10),
            u"C:\\Data\\PlugIns\\Marquill_Setting.txt");
  // ASCII case is ignored, nothing else is folded.
  EXPECT_EQ(RedirectPath(u"c:\\program files\\Ed\\x.txt", u"C:\\Program Files", ad, 6), ad + u"\\Ed\\x.txt");
  EXPECT_EQ(RedirectPath(u"c:\\programme ä\\x.txt", u"C:\\Programme Ä", ad, 6), u"c:\\programme ä\\x.txt");
  EXPECT_EQ(RedirectPath(u"C:\\Programme Ä\\x.txt", u"C:\\Programme Ä", ad, 6), ad + u"\\x.txt");
  // The "(x86)" candidate joins the folder directly, and is tried first.
  EXPECT_EQ(RedirectPath(u"C:\\Program Files(x86)\\Ed", u"C:\\Program Files", ad, 6), ad + u"\\Ed");
  EXPECT_EQ(RedirectPath(u"C:\\Program Files (x86)\\Ed", u"C:\\Program Files", ad, 6), ad + u" (x86)\\Ed");
  // Every occurrence, not only the leading one.
  EXPECT_EQ(RedirectPath(u"C:\\PF\\a\\C:\\pf\\b", u"C:\\PF", u"X", 6), u"X\\a\\X\\b");
  // Only a leading occurrence starts the redirection; an empty folder never matches.
  EXPECT_EQ(RedirectPath(u"D:\\x\\C:\\PF\\b", u"C:\\PF", u"X", 6), u"D:\\x\\C:\\PF\\b");
  EXPECT_EQ(RedirectPath(u"C:\\PF\\b", u"", u"X", 6), u"C:\\PF\\b");
  EXPECT_EQ(RedirectPath(u"C:\\P", u"C:\\PF", u"X", 6), u"C:\\P");
  // A path that is the Program Files folder itself, the prefix running to its end.
  EXPECT_EQ(RedirectPath(pf86, pf86, ad, 6), ad);
  EXPECT_EQ(RedirectPath(u"c:\\program files", u"C:\\Program Files", ad, 6), ad);
  EXPECT_EQ(RedirectPath(u"C:\\Program Files\\", u"C:\\Program Files", ad, 6), ad + u"\\");
  EXPECT_EQ(RedirectPath(u"C:\\Program Files (x86)", u"C:\\Program Files (x86)", ad, 5), u"C:\\Program Files (x86)");
  EXPECT_FALSE(BeginsWithAsciiNoCase(u"abc", u""));
  EXPECT_TRUE(BeginsWithAsciiNoCase(u"ABC", u"ab"));
}

TEST(SettingRules, QuestionTexts) {
  const std::u16string two = TwoFileQuestionText(u"MarquillSetting.dat", u"MarquillSetting_dat.bak",
                                                 u"Marquill_Setting.txt", u"Marquill_Setting_txt.bak");
  EXPECT_EQ(two,
            u"設定ファイル名が変更になっています。\r\n"
            u"旧バージョン/新バージョン、両方の設定ファイルが存在します。\r\n"
            u"移行しますか？\r\n"
            u"--------------------\r\n"
            u"処理内容\r\n"
            u"  バックアップ\r\n"
            u"    旧バージョン:MarquillSetting.dat >> MarquillSetting_dat.bak\r\n"
            u"    新バージョン:Marquill_Setting.txt >> Marquill_Setting_txt.bak\r\n"
            u"  移行\r\n"
            u"    MarquillSetting.dat >> Marquill_Setting.txt");
  const std::u16string one =
      OldFileQuestionText(u"MarquillSetting.dat", u"MarquillSetting_dat.bak", u"Marquill_Setting.txt");
  EXPECT_EQ(one,
            u"設定ファイル名が変更になっています。\r\n"
            u"旧バージョンの設定ファイルが存在します。\r\n"
            u"移行しますか？\r\n"
            u"--------------------\r\n"
            u"処理内容\r\n"
            u"  バックアップ\r\n"
            u"    旧バージョン:MarquillSetting.dat >> MarquillSetting_dat.bak\r\n"
            u"  移行\r\n"
            u"    MarquillSetting.dat >> Marquill_Setting.txt");
  // The names go in as given.
  EXPECT_NE(TwoFileQuestionText(u"a", u"b", u"c", u"d").find(u"旧バージョン:a >> b\r\n    新バージョン:c >> d\r\n"),
            std::u16string::npos);
  EXPECT_EQ(MigrationCaption, u"Marquill Plugin 設定ファイル移行");
}

TEST(SettingRules, SpecialFolderKeys) {
  const int expected[45] = {48, 29, 26, 59, 47, 30, 35, 25, 46, 31, 53, 54, 23, 22, 24, 45, 55, 33, 0,  16, 6,  20, 34,
                            32, 28, 13, 39, 14, 19, 5,  27, 40, 38, 43, 42, 2,  8,  56, 9,  11, 7,  37, 41, 21, 36};
  for (uint32_t k = 0; k < 45; ++k) EXPECT_EQ(SHGetSpecialFolderKeyIndex(k), expected[k]) << k;
  EXPECT_EQ(SHGetSpecialFolderKeyIndex(sfkAppData), 26);
  EXPECT_EQ(SHGetSpecialFolderKeyIndex(sfkProgramFiles), 38);
  EXPECT_EQ(SHGetSpecialFolderKeyIndex(128 + 2), 26);  // only the low seven bits count
  EXPECT_EQ(SHGetSpecialFolderKeyIndex(0xFFFFFF80u + 44), 36);
  for (uint32_t bad : {45u, 100u, 127u, 255u}) {
    try {
      SHGetSpecialFolderKeyIndex(bad);
      ADD_FAILURE() << bad;
    } catch (const EAssertionFailed& e) {
      EXPECT_EQ(e.Message(),
                u"SHGetSpecialFolderKeyIndex:存在しない型です (SpecialFolderPathUnit\\ShellSpecialFolderPathUnit, 141 行)");
    }
  }
}

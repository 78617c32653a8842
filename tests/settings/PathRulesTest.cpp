// Path rules as tables.
#include "FileNameUnit.h"

#include <gtest/gtest.h>

TEST(PathRules, ValidPaths) {
  // Empty, lone backslash, two backslashes, a single leading backslash.
  EXPECT_FALSE(IsValidPath(u""));
  EXPECT_FALSE(IsValidPath(u"\\"));
  EXPECT_FALSE(IsValidPath(u"\\\\"));
  EXPECT_FALSE(IsValidPath(u"\\a"));
  EXPECT_FALSE(IsValidPath(u"\\\\\\srv"));
  EXPECT_TRUE(IsValidPath(u"\\\\srv"));
  EXPECT_TRUE(IsValidPath(u"\\\\srv\\share\\dir\\"));
  EXPECT_FALSE(IsValidPath(u"\\\\srv\\\\share"));

  EXPECT_TRUE(IsValidPath(u"C:"));
  EXPECT_TRUE(IsValidPath(u"C:\\"));
  EXPECT_TRUE(IsValidPath(u"C:\\a\\b\\"));
  EXPECT_FALSE(IsValidPath(u"C:\\a\\\\b"));
  EXPECT_FALSE(IsValidPath(u"C:\\a\\\\"));
  EXPECT_FALSE(IsValidPath(u"a\\\\b"));

  // Dot pieces only as a leading run.
  EXPECT_TRUE(IsValidPath(u"."));
  EXPECT_TRUE(IsValidPath(u".."));
  EXPECT_TRUE(IsValidPath(u".\\PlugIns"));
  EXPECT_TRUE(IsValidPath(u"..\\..\\Shared\\PlugIns"));
  EXPECT_TRUE(IsValidPath(u".\\..\\.\\x"));
  EXPECT_FALSE(IsValidPath(u"a\\..\\b"));
  EXPECT_FALSE(IsValidPath(u"a\\."));
  EXPECT_FALSE(IsValidPath(u"C:\\.."));
  EXPECT_FALSE(IsValidPath(u"\\\\srv\\share\\.."));
  EXPECT_FALSE(IsValidPath(u"\\\\srv\\.\\x"));

  // Colons: only the drive colon of the first ordinary piece.
  EXPECT_TRUE(IsValidPath(u"C:abc"));
  EXPECT_TRUE(IsValidPath(u"..\\z:"));
  EXPECT_FALSE(IsValidPath(u"ab:c"));
  EXPECT_FALSE(IsValidPath(u"1:\\x"));
  EXPECT_FALSE(IsValidPath(u":"));
  EXPECT_FALSE(IsValidPath(u"C:\\a:b"));
  EXPECT_FALSE(IsValidPath(u"C:\\x\\D:"));
  EXPECT_FALSE(IsValidPath(u"\\\\srv:\\share"));

  // Pieces beginning with a full stop.
  EXPECT_FALSE(IsValidPath(u"C:\\.hidden"));
  EXPECT_FALSE(IsValidPath(u"...\\x"));
  EXPECT_FALSE(IsValidPath(u".x"));
  EXPECT_TRUE(IsValidPath(u"C:\\a.b\\c."));

  // The seven forbidden characters.
  for (char16_t c : std::u16string_view(u"/*?\"<>|")) {
    std::u16string p = u"C:\\a";
    p += c;
    EXPECT_FALSE(IsValidPath(p)) << static_cast<int>(c);
  }
  EXPECT_TRUE(IsValidPath(u"C:\\日本語 (x86)\\a+b=c;d,e"));
}

TEST(PathRules, Kinds) {
  EXPECT_TRUE(IsUNCPath(u"\\\\a"));
  EXPECT_FALSE(IsUNCPath(u"\\\\"));
  EXPECT_FALSE(IsUNCPath(u"\\\\\\a"));
  EXPECT_FALSE(IsUNCPath(u"\\a"));
  EXPECT_TRUE(IsUNCPath(u"\\\\a\\\\b"));
  EXPECT_FALSE(IsValidUNCPath(u"\\\\a\\\\b"));
  EXPECT_TRUE(IsValidUNCPath(u"\\\\srv\\share"));

  EXPECT_TRUE(IsDrivePath(u"C:"));
  EXPECT_TRUE(IsDrivePath(u"z:\\x"));
  EXPECT_FALSE(IsDrivePath(u"C:x"));
  EXPECT_FALSE(IsDrivePath(u"1:"));
  EXPECT_FALSE(IsDrivePath(u"C"));
  EXPECT_FALSE(IsDrivePath(u"ä:\\"));
  EXPECT_TRUE(IsDrivePath(u"C:\\a\\\\b"));
  EXPECT_FALSE(IsValidDrivePath(u"C:\\a\\\\b"));
  EXPECT_TRUE(IsValidDrivePath(u"C:\\"));

  EXPECT_TRUE(IsRelativePath(u"PlugIns"));
  EXPECT_TRUE(IsRelativePath(u".\\PlugIns"));
  EXPECT_TRUE(IsRelativePath(u"..\\Shared\\PlugIns"));
  EXPECT_TRUE(IsRelativePath(u"C:abc"));  // drive-relative counts as relative
  EXPECT_FALSE(IsRelativePath(u"C:\\a"));
  EXPECT_FALSE(IsRelativePath(u"\\\\srv\\share"));
  EXPECT_FALSE(IsRelativePath(u""));
  EXPECT_FALSE(IsRelativePath(u"\\"));
  EXPECT_FALSE(IsRelativePath(u"\\PlugIns"));
  EXPECT_FALSE(IsRelativePath(u"Plug\\\\Ins"));
}

TEST(PathRules, DepthAndParent) {
  EXPECT_EQ(GetPathDepth(u"C:\\a\\b"), 2);
  EXPECT_EQ(GetPathDepth(u"C:\\a\\b\\"), 2);
  EXPECT_EQ(GetPathDepth(u"C:\\"), 0);
  EXPECT_EQ(GetPathDepth(u"C:"), 0);
  EXPECT_EQ(GetPathDepth(u"\\\\srv\\share\\folder"), 2);
  EXPECT_EQ(GetPathDepth(u"\\\\srv"), 0);
  EXPECT_EQ(GetPathDepth(u"a\\b"), -1);
  EXPECT_EQ(GetPathDepth(u"C:\\a\\\\b"), -1);
  EXPECT_EQ(GetPathDepth(u""), -1);

  EXPECT_EQ(GetParentPath(u"C:\\a\\b", 1), u"C:\\a\\");
  EXPECT_EQ(GetParentPath(u"C:\\a\\b\\", 1), u"C:\\a\\");
  EXPECT_EQ(GetParentPath(u"C:\\a\\b", 2), u"C:\\");
  EXPECT_EQ(GetParentPath(u"C:\\a\\b", 3), u"");
  EXPECT_EQ(GetParentPath(u"C:\\", 1), u"");
  EXPECT_EQ(GetParentPath(u"C:\\a\\b", 0), u"C:\\a\\b");
  EXPECT_EQ(GetParentPath(u"not|a path", 0), u"not|a path");
  EXPECT_EQ(GetParentPath(u"C:\\a\\b", -1), u"");
  EXPECT_EQ(GetParentPath(u"\\\\srv\\share\\folder", 1), u"\\\\srv\\share\\");
  EXPECT_EQ(GetParentPath(u"\\\\srv\\share\\folder", 2), u"\\\\srv\\");
  EXPECT_EQ(GetParentPath(u"a\\b", 1), u"");
}

TEST(PathRules, Combine) {
  const std::u16string base = u"C:\\Tools\\Editor";
  EXPECT_EQ(CombinePath(base, u"..\\Shared\\PlugIns"), u"C:\\Tools\\Shared\\PlugIns");
  EXPECT_EQ(CombinePath(base + u"\\", u"..\\Shared\\PlugIns"), u"C:\\Tools\\Shared\\PlugIns");
  EXPECT_EQ(CombinePath(base, u".\\PlugIns\\"), u"C:\\Tools\\Editor\\PlugIns\\");
  EXPECT_EQ(CombinePath(base, u"PlugIns"), u"C:\\Tools\\Editor\\PlugIns");
  EXPECT_EQ(CombinePath(base, u"."), u"C:\\Tools\\Editor");
  EXPECT_EQ(CombinePath(base, u".."), u"C:\\Tools");
  EXPECT_EQ(CombinePath(base, u"..\\.."), u"C:");
  EXPECT_EQ(CombinePath(base, u"..\\..\\"), u"C:\\");
  EXPECT_EQ(CombinePath(base, u"..\\..\\x"), u"C:\\x");
  EXPECT_EQ(CombinePath(base, u"..\\..\\..\\x"), u"");
  EXPECT_EQ(CombinePath(base, u"..\\..\\..\\..\\x"), u"");
  // Above the root, even where the rest would name a root of its own.
  EXPECT_EQ(CombinePath(base, u"..\\..\\..\\D:\\x"), u"");
  EXPECT_EQ(CombinePath(base, u"..\\..\\..\\D:"), u"");
  EXPECT_EQ(CombinePath(base, u"..\\..\\..\\..\\D:\\"), u"");
  EXPECT_EQ(CombinePath(u"C:\\", u"..\\D:\\x"), u"");
  EXPECT_EQ(CombinePath(u"\\\\srv\\share", u"..\\..\\..\\E:\\y"), u"");
  EXPECT_EQ(CombinePath(u"C:\\", u"x\\y"), u"C:\\x\\y");
  EXPECT_EQ(CombinePath(u"C:", u"x"), u"C:\\x");
  EXPECT_EQ(CombinePath(u"D:\\Ed", u"PlugIns"), u"D:\\Ed\\PlugIns");
  EXPECT_EQ(CombinePath(u"D:\\Ed", u"..\\PlugIns"), u"D:\\PlugIns");
  EXPECT_EQ(CombinePath(u"D:\\Ed", u"..\\..\\PlugIns"), u"");
  EXPECT_EQ(CombinePath(u"\\\\srv\\share\\ed", u"..\\PlugIns"), u"\\\\srv\\share\\PlugIns");
  EXPECT_EQ(CombinePath(u"\\\\srv\\share", u"x\\"), u"\\\\srv\\share\\x\\");

  // Base not absolute, relative part not valid or not relative.
  EXPECT_EQ(CombinePath(u"Tools\\Editor", u"PlugIns"), u"");
  EXPECT_EQ(CombinePath(u"", u"PlugIns"), u"");
  EXPECT_EQ(CombinePath(u"C:\\a\\\\b", u"PlugIns"), u"");
  EXPECT_EQ(CombinePath(base, u""), u"");
  EXPECT_EQ(CombinePath(base, u"a\\..\\b"), u"");
  EXPECT_EQ(CombinePath(base, u"Plug|Ins"), u"");
  EXPECT_EQ(CombinePath(base, u"D:\\x"), u"");
  EXPECT_EQ(CombinePath(base, u"\\\\srv\\share"), u"");
  EXPECT_EQ(CombinePath(base, u"C:x"), u"");
}

TEST(PathRules, NamesBackupsAndQuotes) {
  EXPECT_EQ(ExtractFileName(u"C:\\x\\MarquillSetting.dat"), u"MarquillSetting.dat");
  EXPECT_EQ(ExtractFileName(u"C:name"), u"name");
  EXPECT_EQ(ExtractFileName(u"name"), u"name");
  EXPECT_EQ(ExtractFilePath(u"C:\\Tools\\Editor\\editor.exe"), u"C:\\Tools\\Editor\\");
  EXPECT_EQ(ExtractFilePath(u"editor.exe"), u"");
  EXPECT_EQ(ExtractFileExt(u"C:\\a.b\\c"), u"");
  EXPECT_EQ(IncludeTrailingBackslash(u""), u"\\");
  EXPECT_EQ(IncludeTrailingBackslash(u"C:\\a\\"), u"C:\\a\\");

  EXPECT_EQ(GetBackupFilePath(u"C:\\x\\MarquillSetting.dat"), u"C:\\x\\MarquillSetting_dat.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:\\x\\Marquill_Setting.txt"), u"C:\\x\\Marquill_Setting_txt.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:\\x\\name"), u"C:\\x\\name_.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:\\x.y\\name"), u"C:\\x.y\\name_.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:\\x\\name."), u"C:\\x\\name_.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:\\x\\a._x"), u"C:\\x\\a_x.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:\\x\\a.tar.gz"), u"C:\\x\\a.tar_gz.bak");
  EXPECT_EQ(GetBackupFilePath(u"C:.cfg"), u"C:_cfg.bak");
  EXPECT_EQ(GetBackupFilePath(u""), u"_.bak");

  EXPECT_EQ(QuoteIfNeeded(u""), u"\"\"");
  EXPECT_EQ(QuoteIfNeeded(u"C:\\Ed\\ed.exe"), u"\"C:\\Ed\\ed.exe\"");
  EXPECT_EQ(QuoteIfNeeded(u"\"C:\\Program Files\\ed.exe\""), u"\"C:\\Program Files\\ed.exe\"");
  EXPECT_EQ(QuoteIfNeeded(u"\"abc"), u"\"abc\"");
  EXPECT_EQ(QuoteIfNeeded(u"abc\""), u"\"abc\"");
  EXPECT_EQ(QuoteIfNeeded(u"\""), u"\"");
}

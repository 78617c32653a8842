// Settings paths from the plug-in folder answer, and the Program Files redirection.
#include "SettingPathUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "FileNameUnit.h"
#include "OSVersionUnit.h"
#include "ShellSpecialFolderPathUnit.h"
#include "TestSettingHost.h"
#include "VistaUnit.h"
#include "WinTestUtil.h"

namespace {

std::u16string SelfFolder() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::u16string path = U(self);
  return path.substr(0, path.find_last_of(u'\\'));
}

}  // namespace

TEST(SettingPath, PluginFolderFromHost) {
  TTestSettingHost host;
  const std::u16string self = SelfFolder();

  host.Folder = u"C:\\Data\\PlugIns";
  EXPECT_EQ(GetPluginFolder(host), u"C:\\Data\\PlugIns");
  EXPECT_EQ(GetSettingFilePath(host), u"C:\\Data\\PlugIns\\Marquill_Setting.txt");
  EXPECT_EQ(GetOldSettingFilePath(host), u"C:\\Data\\PlugIns\\MarquillSetting.dat");
  host.Folder = u"C:\\Data\\PlugIns\\";
  EXPECT_EQ(GetSettingFilePath(host), u"C:\\Data\\PlugIns\\Marquill_Setting.txt");

  // No answer: PlugIns beside the host program (here the test program).
  host.Folder = u"";
  EXPECT_EQ(GetPluginFolder(host), self + u"\\PlugIns");
  EXPECT_EQ(GetSettingFilePath(host), self + u"\\PlugIns\\Marquill_Setting.txt");

  // Relative answers resolve against the host program folder.
  host.Folder = u"Plug";
  EXPECT_EQ(GetPluginFolder(host), self + u"\\Plug");
  host.Folder = u"..\\Shared\\PlugIns";
  EXPECT_EQ(GetPluginFolder(host), self.substr(0, self.find_last_of(u'\\')) + u"\\Shared\\PlugIns");
  // Climbing above the root: an empty folder, the file in the drive's root.
  std::u16string climb;
  for (int i = 0; i < 40; ++i) climb += u"..\\";
  host.Folder = climb + u"PlugIns";
  EXPECT_EQ(GetPluginFolder(host), u"");
  EXPECT_EQ(GetSettingFilePath(host), u"\\Marquill_Setting.txt");
  // Malformed answers are used unchanged.
  host.Folder = u"C:\\Da\\\\ta";
  EXPECT_EQ(GetSettingFilePath(host), u"C:\\Da\\\\ta\\Marquill_Setting.txt");
  host.Folder = u"Plug|Ins";
  EXPECT_EQ(GetPluginFolder(host), u"Plug|Ins");

  // Longer than the 49 characters of older versions, and up to 259.
  const std::u16string longFolder = u"C:\\Users\\someone with a long name\\AppData\\Roaming\\Editor\\PlugIns";
  ASSERT_GT(longFolder.size(), 49u);
  host.Folder = longFolder;
  EXPECT_EQ(GetSettingFilePath(host), longFolder + u"\\Marquill_Setting.txt");
  const std::u16string longest = u"C:\\" + std::u16string(256, u'x');
  host.Folder = longest;
  EXPECT_EQ(GetPluginFolder(host), longest);
}

// The settings files of one command: every use asks the host again, and the
// paths follow its answer when that changes.
TEST(SettingPath, FilesOfOneCommand) {
  struct TChangingHost final : TSettingHost {
    std::vector<std::u16string> Answers;  // one per question, the last one repeated
    mutable size_t Asked = 0;
    std::u16string PlugInsFolderSetting() const override { return Answers[std::min(Asked++, Answers.size() - 1)]; }
    HWND QuestionOwner() const override { return nullptr; }
  } host;
  host.Answers = {u"C:\\A", u"C:\\A\\", u"C:\\B"};
  TSettingFiles files(host);
  EXPECT_EQ(files.Current().Path, u"C:\\A\\Marquill_Setting.txt");
  EXPECT_EQ(files.Old().Backup, u"C:\\A\\MarquillSetting_dat.bak");
  EXPECT_EQ(files.Old().Path, u"C:\\B\\MarquillSetting.dat");
  EXPECT_EQ(files.Current().Backup, u"C:\\B\\Marquill_Setting_txt.bak");
  EXPECT_EQ(host.Asked, 4u);
}

TEST(SettingPath, ProgramFilesRedirection) {
  const std::u16string pf = GetSpecialFolderPath(sfkProgramFiles);
  const std::u16string ad = GetSpecialFolderPath(sfkAppData);
  ASSERT_FALSE(pf.empty());
  ASSERT_FALSE(ad.empty());
  EXPECT_NE(pf.back(), u'\\');
  const TOSVersion version = GetOSVersion();
  EXPECT_GT(version.Major, 0u);

  const std::u16string sub = u"\\MarquillRedirectTest";
  RemoveTree(ad + sub);
  TTestSettingHost host;
  host.Folder = pf + sub + u"\\Editor\\PlugIns";
  const std::u16string path = GetSettingFilePath(host);
  if (version.Major >= 6) {
    EXPECT_EQ(path, ad + sub + u"\\Editor\\PlugIns\\Marquill_Setting.txt");
    EXPECT_TRUE(IsFolder(ad + sub + u"\\Editor\\PlugIns"));
    // ASCII case is ignored when matching the Program Files folder.
    std::u16string lower = pf;
    for (auto& c : lower)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    host.Folder = lower + sub + u"\\Other";
    EXPECT_EQ(GetOldSettingFilePath(host), ad + sub + u"\\Other\\MarquillSetting.dat");
    EXPECT_TRUE(IsFolder(ad + sub + u"\\Other"));
  } else {
    EXPECT_EQ(path, pf + sub + u"\\Editor\\PlugIns\\Marquill_Setting.txt");
  }
  RemoveTree(ad + sub);

  // A plug-in folder that is the Program Files folder itself.
  host.Folder = pf;
  EXPECT_EQ(GetSettingFilePath(host), (version.Major >= 6 ? ad : pf) + u"\\Marquill_Setting.txt");
  EXPECT_EQ(RedirectFromProgramFiles(pf), version.Major >= 6 ? ad : pf);

  // Anything else is left alone, and no folder is made for it.
  TTempFolder dir;
  EXPECT_EQ(RedirectFromProgramFiles(dir / u"a\\b\\x.txt"), dir / u"a\\b\\x.txt");
  EXPECT_FALSE(IsFolder(dir / u"a"));

  // Folder creation: every missing parent, outermost first.
  ForceFolders(dir / u"p\\q\\r\\");
  EXPECT_TRUE(IsFolder(dir / u"p\\q\\r"));
  ForceFolders(dir / u"p\\q\\r");  // already there
  EXPECT_TRUE(IsFolder(dir / u"p\\q\\r"));
}

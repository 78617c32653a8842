#include "SettingPathUnit.h"

#include <gtest/gtest.h>

#include "FileNameUnit.h"
#include "OSVersionUnit.h"
#include "ShellSpecialFolderPathUnit.h"
#include "SimHost.h"
#include "VistaUnit.h"
#include "WinTestUtil.h"

namespace {

std::u16string SelfFolder() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::u16string path = U(self);
  return path.substr(0, path.find_last_of(u'\\'));
}

// Restores the current host window on leaving.
struct THostWindowScope {
  explicit THostWindowScope(HWND hwnd) : Saved(GetCurrentHostWindow()) { SetCurrentHostWindow(hwnd); }
  ~THostWindowScope() { SetCurrentHostWindow(Saved); }
  HWND Saved;
};

}  // namespace

TEST(SettingPath, PluginFolderFromHost) {
  TSimHost host;
  THostWindowScope scope(host.Hwnd());
  const std::u16string self = SelfFolder();

  host.SetPlugInsFolder(u"C:\\Data\\PlugIns");
  EXPECT_EQ(GetPluginFolder(), u"C:\\Data\\PlugIns");
  EXPECT_EQ(GetSettingFilePath(), u"C:\\Data\\PlugIns\\Marquill_Setting.txt");
  EXPECT_EQ(GetOldSettingFilePath(), u"C:\\Data\\PlugIns\\MarquillSetting.dat");
  // The request: 260 units offered, every other field fixed.
  const TSimSettingRequest& r = host.LastSettingRequest();
  EXPECT_EQ(r.Size, 32u);
  EXPECT_EQ(r.HostWord1, 0x7FFFFF00u);
  EXPECT_EQ(r.HostWord2, 0u);
  EXPECT_EQ(r.HostWord3, 0u);
  EXPECT_EQ(r.Kind, 1u);
  EXPECT_EQ(r.Name, u"PlugInsFolder");
  EXPECT_TRUE(r.HasBuffer);
  EXPECT_EQ(r.BufferBytes, 520u);

  host.SetPlugInsFolder(u"C:\\Data\\PlugIns\\");
  EXPECT_EQ(GetSettingFilePath(), u"C:\\Data\\PlugIns\\Marquill_Setting.txt");

  // Not set, or empty: PlugIns beside the host program (here the test program).
  host.SetPlugInsFolder(std::nullopt);
  EXPECT_EQ(GetPluginFolder(), self + u"\\PlugIns");
  host.SetPlugInsFolder(u"");
  EXPECT_EQ(GetPluginFolder(), self + u"\\PlugIns");
  EXPECT_EQ(GetSettingFilePath(), self + u"\\PlugIns\\Marquill_Setting.txt");

  // Relative answers resolve against the host program folder.
  host.SetPlugInsFolder(u"Plug");
  EXPECT_EQ(GetPluginFolder(), self + u"\\Plug");
  host.SetPlugInsFolder(u"..\\Shared\\PlugIns");
  EXPECT_EQ(GetPluginFolder(), self.substr(0, self.find_last_of(u'\\')) + u"\\Shared\\PlugIns");
  // Climbing above the root: an empty folder, the file in the drive's root.
  std::u16string climb;
  for (int i = 0; i < 40; ++i) climb += u"..\\";
  host.SetPlugInsFolder(climb + u"PlugIns");
  EXPECT_EQ(GetPluginFolder(), u"");
  EXPECT_EQ(GetSettingFilePath(), u"\\Marquill_Setting.txt");
  // Malformed answers are used unchanged.
  host.SetPlugInsFolder(u"C:\\Da\\\\ta");
  EXPECT_EQ(GetSettingFilePath(), u"C:\\Da\\\\ta\\Marquill_Setting.txt");
  host.SetPlugInsFolder(u"Plug|Ins");
  EXPECT_EQ(GetPluginFolder(), u"Plug|Ins");

  // Longer than the 49 characters of older versions, and up to 259.
  const std::u16string longFolder = u"C:\\Users\\someone with a long name\\AppData\\Roaming\\Editor\\PlugIns";
  ASSERT_GT(longFolder.size(), 49u);
  host.SetPlugInsFolder(longFolder);
  EXPECT_EQ(GetSettingFilePath(), longFolder + u"\\Marquill_Setting.txt");
  const std::u16string longest = u"C:\\" + std::u16string(256, u'x');
  host.SetPlugInsFolder(longest);
  EXPECT_EQ(GetPluginFolder(), longest);

  // A host that fills the whole buffer with no NUL: read up to the buffer's end, never past.
  host.SetPlugInsFolder(u"C:\\x");
  host.OnHostMessage = [](const TSimMessage& m) {
    if (m.Msg != HOST_READ_SETTING) return;
    auto* req = reinterpret_cast<HostSettingRequest*>(m.LParam);
    const uint32_t units = *req->bufferBytes / 2;
    for (uint32_t i = 0; i < units; ++i) req->buffer[i] = L'A';
  };
  EXPECT_EQ(ReadHostPluginFolderSetting(), std::u16string(260, u'A'));
  host.OnHostMessage = nullptr;

  // No command yet (no host window): the fallback folder.
  SetCurrentHostWindow(nullptr);
  EXPECT_EQ(GetPluginFolder(), self + u"\\PlugIns");
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
  TSimHost host;
  THostWindowScope scope(host.Hwnd());
  host.SetPlugInsFolder(pf + sub + u"\\Editor\\PlugIns");
  const std::u16string path = GetSettingFilePath();
  if (version.Major >= 6) {
    EXPECT_EQ(path, ad + sub + u"\\Editor\\PlugIns\\Marquill_Setting.txt");
    EXPECT_TRUE(IsFolder(ad + sub + u"\\Editor\\PlugIns"));
    // ASCII case is ignored when matching the Program Files folder.
    std::u16string lower = pf;
    for (auto& c : lower)
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    host.SetPlugInsFolder(lower + sub + u"\\Other");
    EXPECT_EQ(GetOldSettingFilePath(), ad + sub + u"\\Other\\MarquillSetting.dat");
    EXPECT_TRUE(IsFolder(ad + sub + u"\\Other"));
  } else {
    EXPECT_EQ(path, pf + sub + u"\\Editor\\PlugIns\\Marquill_Setting.txt");
  }
  RemoveTree(ad + sub);

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

// The command's side of the settings: the "PlugInsFolder" request as the host receives it.
#include <gtest/gtest.h>

#include "CommandHost.h"
#include "SimHost.h"

TEST(CommandHost, PlugInsFolderRequest) {
  TSimHost host;
  host.SetPlugInsFolder(u"C:\\Data\\PlugIns");
  EXPECT_EQ(ReadHostPluginFolderSetting(host.Hwnd()), u"C:\\Data\\PlugIns");
  // 260 units offered, every other field fixed.
  const TSimSettingRequest& r = host.LastSettingRequest();
  EXPECT_EQ(r.Size, 32u);
  EXPECT_EQ(r.HostWord1, 0x7FFFFF00u);
  EXPECT_EQ(r.HostWord2, 0u);
  EXPECT_EQ(r.HostWord3, 0u);
  EXPECT_EQ(r.Kind, 1u);
  EXPECT_EQ(r.Name, u"PlugInsFolder");
  EXPECT_TRUE(r.HasBuffer);
  EXPECT_EQ(r.BufferBytes, 520u);

  // Not set: nothing.
  host.SetPlugInsFolder(std::nullopt);
  EXPECT_EQ(ReadHostPluginFolderSetting(host.Hwnd()), u"");

  // A host that fills the whole buffer with no NUL: read up to the buffer's end, never past.
  host.SetPlugInsFolder(u"C:\\x");
  host.OnHostMessage = [](const TSimMessage& m) {
    if (m.Msg != HOST_READ_SETTING) return;
    auto* req = reinterpret_cast<HostSettingRequest*>(m.LParam);
    const uint32_t units = *req->bufferBytes / 2;
    for (uint32_t i = 0; i < units; ++i) req->buffer[i] = L'A';
  };
  EXPECT_EQ(ReadHostPluginFolderSetting(host.Hwnd()), std::u16string(260, u'A'));
  host.OnHostMessage = nullptr;

  // The settings' view asks the current host window; none before the first command.
  SetCurrentHostWindow(nullptr);
  EXPECT_EQ(TCurrentHostSettings().PlugInsFolderSetting(), u"");
  SetCurrentHostWindow(host.Hwnd());
  EXPECT_EQ(TCurrentHostSettings().PlugInsFolderSetting(), u"C:\\x");
  EXPECT_EQ(TCurrentHostSettings().QuestionOwner(), host.Hwnd());
  SetCurrentHostWindow(nullptr);
}

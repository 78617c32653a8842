// Whole-file access, settings text encoding and program launching under Wine.
#include "FileUnit.h"

#include <gtest/gtest.h>

#include "Errors.h"
#include "SettingPathUnit.h"
#include "StringRecordList.h"
#include "WinTestUtil.h"

namespace {

template <class E, class F>
std::u16string MessageOf(F&& f) {
  try {
    f();
  } catch (const E& e) {
    return e.Message();
  } catch (...) {
    return u"<other exception>";
  }
  return u"<no exception>";
}

// Japanese symbol entries in Shift_JIS (code page 932), with every kind of break.
const std::string SjisEntries(
    "\x3e\x20\x09\x88\xf8\x97\x70\x0d\x0a\x2f\x2f\x20\x09\x83\x52\x83\x81\x83\x93\x83\x67\x95\x5c\x8e\xa6\x0d"
    "\x0a\x27\x09\xb6\xc5\x94\xbc\x8a\x70\x0a\x23\x09\x87\x40\x83\x5c\x0d",
    43);

}  // namespace

TEST(FileUnit, ReadWholeFiles) {
  TTempFolder dir;
  const std::u16string file = dir / u"a.txt";
  WriteBytes(file, std::string("x\0y\r\n", 5));
  EXPECT_EQ(LoadAnsiStringFromFile(file), std::string("x\0y\r\n", 5));

  const TFileEntry entry = FindFile(file);
  EXPECT_EQ(entry.Size, 5u);
  EXPECT_EQ(entry.Name, u"a.txt");
  EXPECT_FALSE(entry.Attributes & FILE_ATTRIBUTE_DIRECTORY);

  // A zero-byte file gives the empty string without being opened, so even a
  // file held with no sharing loads.
  const std::u16string empty = dir / u"empty.txt";
  WriteBytes(empty, "");
  {
    TFileLock lock(empty, 0);
    ASSERT_TRUE(lock.Held());
    EXPECT_EQ(LoadAnsiStringFromFile(empty), "");
  }

  // Missing file: the general error of the directory search, not an I/O error.
  const std::u16string missing = dir / u"missing.txt";
  EXPECT_EQ(MessageOf<EGeneralError>([&] { FindFile(missing); }), u"Error:FindFile " + missing);
  EXPECT_EQ(MessageOf<EGeneralError>([&] { LoadAnsiStringFromFile(missing); }), u"Error:FindFile " + missing);
  EXPECT_THROW(LoadAnsiStringFromFile(missing), EGeneralError);

  // A file held open with no sharing cannot be read.
  {
    TFileLock lock(file, 0);
    ASSERT_TRUE(lock.Held());
    EXPECT_EQ(MessageOf<EInOutError>([&] { LoadAnsiStringFromFile(file); }),
              u"Error:LoadAnsiStringFromFile\r\n" + file);
  }
  // Another reader or writer that shares does not block.
  {
    TFileLock lock(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
    EXPECT_EQ(LoadAnsiStringFromFile(file).size(), 5u);
  }
  // A read-only file reads.
  SetReadOnly(file, true);
  EXPECT_EQ(LoadAnsiStringFromFile(file).size(), 5u);
  SetReadOnly(file, false);

  // A folder is found by the search and has no bytes.
  const std::u16string folder = dir / u"folder";
  MakeFolder(folder);
  EXPECT_TRUE(FindFile(folder).Attributes & FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(LoadAnsiStringFromFile(folder), "");
}

TEST(FileUnit, WriteWholeFiles) {
  TTempFolder dir;
  const std::u16string file = dir / u"s.txt";
  SaveAnsiStringToFile(file, "abc\r\n");
  EXPECT_EQ(ReadBytes(file), "abc\r\n");
  SaveAnsiStringToFile(file, std::string("\0\xff", 2));
  EXPECT_EQ(ReadBytes(file), std::string("\0\xff", 2));
  // The empty string over content leaves zero bytes.
  SaveAnsiStringToFile(file, "");
  EXPECT_EQ(ReadBytes(file), "");
  std::string big(1 << 20, 'q');
  big[12345] = '\n';
  SaveAnsiStringToFile(file, big);
  EXPECT_EQ(ReadBytes(file), big);
  EXPECT_EQ(LoadAnsiStringFromFile(file), big);
  EXPECT_EQ(FolderEntries(dir.Path()), std::vector<std::u16string>{u"s.txt"});

  const std::u16string saveError = u"Error:SaveAnsiStringToFile\r\n";
  // A read-only file keeps its content.
  WriteBytes(file, "keep");
  SetReadOnly(file, true);
  EXPECT_EQ(MessageOf<EInOutError>([&] { SaveAnsiStringToFile(file, "new"); }), saveError + file);
  EXPECT_EQ(ReadBytes(file), "keep");
  SetReadOnly(file, false);

  // A folder at the path stays a folder.
  const std::u16string folder = dir / u"folder";
  MakeFolder(folder);
  EXPECT_EQ(MessageOf<EInOutError>([&] { SaveAnsiStringToFile(folder, "new"); }), saveError + folder);
  EXPECT_TRUE(IsFolder(folder));

  // A missing folder.
  const std::u16string nowhere = dir / u"no\\such\\s.txt";
  EXPECT_EQ(MessageOf<EInOutError>([&] { SaveAnsiStringToFile(nowhere, "new"); }), saveError + nowhere);

  // A file held open without delete sharing cannot be replaced: the error,
  // and the former content is still whole.
  {
    TFileLock lock(file, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(lock.Held());
    EXPECT_EQ(MessageOf<EInOutError>([&] { SaveAnsiStringToFile(file, "new content"); }), saveError + file);
  }
  EXPECT_EQ(ReadBytes(file), "keep");

  // Creating only: a file already there keeps its content, and a new one is made.
  EXPECT_EQ(MessageOf<EInOutError>([&] { SaveAnsiStringToFile(file, "", false); }), saveError + file);
  EXPECT_EQ(ReadBytes(file), "keep");
  const std::u16string created = dir / u"new.txt";
  SaveAnsiStringToFile(created, "", false);
  EXPECT_EQ(ReadBytes(created), "");
  DeleteFileW(W(created));

  // No temporary file is left behind by any of the failures.
  EXPECT_EQ(FolderEntries(dir.Path()), (std::vector<std::u16string>{u"folder", u"s.txt"}));

  // A hidden file stays hidden.
  SetFileAttributesW(W(file), FILE_ATTRIBUTE_HIDDEN);
  SaveAnsiStringToFile(file, "hidden");
  EXPECT_EQ(ReadBytes(file), "hidden");
  EXPECT_TRUE(GetFileAttributesW(W(file)) & FILE_ATTRIBUTE_HIDDEN);
}

TEST(FileUnit, SettingsTextInCodePage932) {
  ASSERT_EQ(GetACP(), 932u) << "the tests run with the Japanese ANSI code page";
  const std::u16string text = DecodeSettingsText(SjisEntries);
  EXPECT_EQ(text, u"> \t引用\r\n// \tコメント表示\r\n'\tｶﾅ半角\n#\t①ソ\r");
  TCommonStringRecordList list;
  list.SetText(text);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.Items(1), u"// \tコメント表示\r\n");
  EXPECT_EQ(list.Items(3), u"#\t①ソ\r");

  // File -> list -> file gives the same bytes.
  TTempFolder dir;
  const std::u16string file = dir / u"Marquill_Setting.txt";
  WriteBytes(file, SjisEntries);
  TCommonStringRecordList read;
  read.SetText(DecodeSettingsText(LoadAnsiStringFromFile(file)));
  SaveAnsiStringToFile(file, EncodeSettingsText(read.Text()));
  EXPECT_EQ(ReadBytes(file), SjisEntries);

  // No byte-order mark is recognised; characters outside the code page
  // become its default character.
  EXPECT_EQ(DecodeSettingsText("\xef\xbb\xbf" "a").size(), 3u);
  EXPECT_EQ(EncodeSettingsText(u"a\u00e9b\u2460"), "a?b\x87\x40");  // no best-fit e for e-acute
  const std::string emoji = EncodeSettingsText(u"\U0001F600");
  EXPECT_FALSE(emoji.empty());
  EXPECT_EQ(emoji.find_first_not_of('?'), std::string::npos);
  EXPECT_EQ(EncodeSettingsText(u""), "");
  EXPECT_EQ(DecodeSettingsText(""), u"");
}

namespace {

std::u16string EchoProgram() {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::u16string path = U(self);
  return path.substr(0, path.find_last_of(u'\\') + 1) + u"cmdline_echo.exe";
}

// Runs the echo program and returns the three lines it wrote down.
std::vector<std::u16string> Echo(const std::u16string& out, std::u16string_view program, std::u16string_view args,
                                 std::u16string_view folder, bool wait, bool show) {
  DeleteFileW(W(out));
  SetEnvironmentVariableW(L"MARQUILL_ECHO_FILE", W(out));
  RunProgram(program, args, folder, wait, show);
  if (!wait)
    for (int i = 0; i < 1000 && !IsFile(out); ++i) Sleep(10);
  const std::optional<std::string> bytes = ReadBytes(out);
  std::vector<std::u16string> lines;
  if (!bytes) return lines;
  std::u16string text(reinterpret_cast<const char16_t*>(bytes->data()), bytes->size() / 2);
  size_t start = 0;
  for (size_t nl; (nl = text.find(u'\n', start)) != std::u16string::npos; start = nl + 1)
    lines.push_back(text.substr(start, nl - start));
  lines.push_back(text.substr(start));
  return lines;
}

}  // namespace

TEST(FileUnit, RunProgramCommandLine) {
  TTempFolder dir;
  const std::u16string out = dir / u"echo.txt";
  const std::u16string echo = EchoProgram();
  ASSERT_TRUE(IsFile(echo));
  wchar_t cwd[MAX_PATH];
  GetCurrentDirectoryW(MAX_PATH, cwd);

  // The settings editing call: quoted program, a blank, the quoted path.
  const std::u16string setting = u"\"C:\\Users\\user\\PlugIns\\Marquill_Setting.txt\"";
  std::vector<std::u16string> got = Echo(out, echo, setting, u"", true, true);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], u"\"" + echo + u"\" " + setting);
  EXPECT_EQ(got[1], U(cwd));
  EXPECT_EQ(got[2].substr(0, 2), u"0,");  // default window state

  // No arguments: no blank. An already quoted program gets no more quotes.
  got = Echo(out, echo, u"", u"", true, true);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0], u"\"" + echo + u"\"");
  got = Echo(out, u"\"" + echo + u"\"", u"a b", u"", true, true);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0], u"\"" + echo + u"\" a b");

  // A program in a folder with blanks in its name.
  const std::u16string spaced = dir / u"with blank 日本";
  MakeFolder(spaced);
  const std::u16string copy = spaced + u"\\echo copy.exe";
  ASSERT_TRUE(CopyFileW(W(echo), W(copy), FALSE));
  got = Echo(out, copy, u"x", u"", true, true);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0], u"\"" + copy + u"\" x");

  // An existing folder becomes the current folder; a missing one is ignored.
  got = Echo(out, echo, u"", spaced, true, true);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1], spaced);
  got = Echo(out, echo, u"", dir / u"missing", true, true);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[1], U(cwd));

  // Hidden start.
  got = Echo(out, echo, u"", u"", true, false);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[2], u"1,0");

  // Without waiting the call returns at once; the program still runs.
  got = Echo(out, echo, u"late", u"", false, true);
  ASSERT_FALSE(got.empty());
  EXPECT_EQ(got[0], u"\"" + echo + u"\" late");

  // A program that cannot start is not reported: the call comes back, even
  // when told to wait, with the failed start's error as the thread's last
  // error; process and thread handles are not kept.
  DWORD before = 0, after = 0;
  GetProcessHandleCount(GetCurrentProcess(), &before);
  SetLastError(ERROR_SUCCESS);
  RunProgram(dir / u"none.exe", u"", u"", true, true);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  for (int i = 0; i < 3; ++i) Echo(out, echo, u"", u"", true, true);
  GetProcessHandleCount(GetCurrentProcess(), &after);
  EXPECT_LE(after, before + 1);  // Wine may open one lasting handle on first use
}

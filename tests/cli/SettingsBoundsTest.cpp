// Settings files the filter refuses at once (no regular file, too large, a
// line too long), the entries listing's escapes, entry numbers and the
// default settings path.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "FilterRun.h"

namespace {

// A file of Size bytes: Head, then a hole (read as NULs), made without
// writing them all.
std::string SparseTemp(const std::string& name, const std::string& head, off_t size) {
  const std::string path = WriteTemp(name, head);
  if (truncate(path.c_str(), size) != 0) ADD_FAILURE() << "truncate " << path;
  return path;
}

TEST(CliSettings, RefusedAtOnce) {
  const std::string fifo = TempDir() + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);  // no writer: opening it to read would wait
  // One line of 100 MB, written in full.
  const std::string hundred = TempDir() + "/long-line.txt";
  {
    const int fd = open(hundred.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const std::string block = "> \t" + std::string((size_t{1} << 20) - 3, 'a');
    for (int i = 0; i < 100; ++i) ASSERT_EQ(write(fd, block.data(), block.size()), static_cast<ssize_t>(block.size()));
    close(fd);
  }
  const std::string line(65536, 'x');
  struct TRow {
    std::string path, fragment;
    int status;
  } rows[] = {
      {"/dev/zero", "cannot read '/dev/zero': not a regular file", 1},
      {fifo, "not a regular file", 1},
      {TempDir(), "cannot read", 1},
      {hundred, "is larger than 16 MiB", 2},
      {SparseTemp("big.txt", "> \tx\n", (off_t{16} << 20) + 1), "is larger than 16 MiB", 2},
      {WriteTemp("line1.txt", "> \t" + line.substr(3) + "x\n"), "line 1 is longer than 65536 characters", 2},
      {WriteTemp("line3.txt", "> \ta\r\n\r# \t" + line.substr(2) + "y"), "line 3 is longer than 65536", 2},
      // UTF-16 counts characters, not bytes.
      {WriteTemp("line16.txt", "\xFF\xFE" + std::string(2 * 65537, 'a')), "line 1 is longer than 65536", 2},
  };
  for (const TRow& row : rows) {
    Refused({"entries", "--settings", row.path}, "", row.fragment, row.status);
    Refused({"insert", "--settings", row.path, "--entry", "1"}, "x\n", row.fragment, row.status);
    // The JSON listing names the failure and still lists the menu.
    const Result json = RunFilter({"entries", "--format=json", "--settings", row.path});
    EXPECT_EQ(json.status, 0) << row.path;
    EXPECT_NE(json.out.find("\"error\": \"marquill: "), std::string::npos) << row.path;
    EXPECT_NE(json.out.find(row.fragment), std::string::npos) << row.path << json.out.substr(0, 300);
  }
  unlink(hundred.c_str());
  // Lines of exactly the limit, and a file just below the size limit, are read.
  const std::string edge = WriteTemp("edge.txt", "> \t" + line.substr(3) + "\r\n# \t" + line.substr(3));
  EXPECT_EQ(Ok({"delete-all", "--settings", edge}, "# > x\n"), "x\n");
  const std::string near = SparseTemp("near.txt", "> \tx\n# \ty", off_t{16} << 20);
  EXPECT_EQ(RunFilter({"entries", "--settings", near}).err.find("larger"), std::string::npos);
}

TEST(CliSettings, ListingEscapesControlCharacters) {
  // caption as stored; as entries prints it (and --entry takes it back)
  const std::vector<std::pair<std::string, std::string>> rows = {
      {"\x1B[31mred", "\\x1B[31mred"},
      {"be\x07ll", "be\\x07ll"},
      {"d\x7F" "el", "d\\x7Fel"},
      {"c1\xC2\x9B" "2J", "c1\\xC2\\x9B2J"},  // CSI as a C1 control
      {"tab\\tback\\\\", "tab\\tback\\\\"},
      {"\xE5\xBC\x95\xE7\x94\xA8", "\xE5\xBC\x95\xE7\x94\xA8"},
      {"lit\\\\x1B", "lit\\\\x1B"},  // a backslash before "x1B" stays apart from an escape
  };
  std::string settings, listing;
  for (size_t i = 0; i < rows.size(); ++i) {
    settings += std::to_string(i) + " \t" + rows[i].first + "\n";
    listing += std::to_string(i) + " \t" + rows[i].second + "\n";
  }
  const std::string path = WriteTemp("controls.txt", settings);
  EXPECT_EQ(Ok({"entries", "--settings", path}, ""), listing);
  for (size_t i = 0; i < rows.size(); ++i)
    EXPECT_EQ(Ok({"insert", "--settings", path, "--entry", rows[i].second}, "a\n"), std::to_string(i) + " a\n")
        << rows[i].second;
}

TEST(CliSettings, EntryNumbers) {
  const std::string path = WriteTemp("numbered.txt", "A \ta\nB \tb\n");
  for (const char* one : {"1", "01", "000000001", "0000000001", "00000000000000000000000001"})
    EXPECT_EQ(Ok({"insert", "--settings", path, "--entry", one}, "x\n"), "A x\n") << one;
  EXPECT_EQ(Ok({"insert", "--settings", path, "--entry", "0000000002"}, "x\n"), "B x\n");
  for (const char* none : {"0", "00000000000", "3", "4294967297", "18446744073709551617", "99999999999999999999999"})
    Refused({"insert", "--settings", path, "--entry", none}, "x\n", "the settings file has 2 valid entries");
}

TEST(CliSettings, DefaultPathIgnoresRelativeConfigHome) {
  const std::string home = TempDir() + "/home";
  mkdir(home.c_str(), 0700);
  mkdir((home + "/.config").c_str(), 0700);
  mkdir((home + "/.config/marquill").c_str(), 0700);
  WriteTemp("home/.config/marquill/Marquill_Setting.txt", "H \thome\n");
  const TScopedEnv settings("MARQUILL_SETTINGS", nullptr);
  const TScopedEnv homeVariable("HOME", home.c_str());
  for (const char* config : {"", "relative", "./config", "config/"}) {
    const TScopedEnv xdg("XDG_CONFIG_HOME", config);
    EXPECT_EQ(Ok({"entries"}, ""), "H \thome\n") << config;
  }
  const std::string absolute = TempDir() + "/xdg";
  mkdir(absolute.c_str(), 0700);
  mkdir((absolute + "/marquill").c_str(), 0700);
  WriteTemp("xdg/marquill/Marquill_Setting.txt", "X \txdg\n");
  const TScopedEnv xdg("XDG_CONFIG_HOME", absolute.c_str());
  EXPECT_EQ(Ok({"entries"}, ""), "X \txdg\n");
}

}  // namespace

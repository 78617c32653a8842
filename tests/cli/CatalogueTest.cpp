// The filter without an installed catalogue (as the VS Code extension ships
// it): a copy alone in a folder says what the build with its catalogue says,
// in the language the environment asks for.
#include <sys/stat.h>

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "FilterRun.h"

namespace {

// The built program copied into a folder with no locale/ beside it.
const std::string& LoneCopy() {
  static const std::string copy = [] {
    const std::string folder = TempDir() + "/lone";
    mkdir(folder.c_str(), 0700);
    const std::string path = folder + "/marquill";
    std::ifstream in(MARQUILL_EXE, std::ios::binary);
    std::ofstream(path, std::ios::binary) << in.rdbuf();
    chmod(path.c_str(), 0755);
    return path;
  }();
  return copy;
}

// Failures in the filter's own words and with the system's reasons.
std::vector<std::vector<std::string>> FailingRuns() {
  const std::string settings = WriteTemp("catalogue-settings.txt", "no tab here\n");
  return {
      {"insert", "> ", TempDir() + "/missing.txt"},
      {"insert", "> ", TempDir()},
      {"insert", "> ", "/etc/passwd/below"},
      {"insert", "-i", "> ", "/proc/self/status"},
      {"insert", "--at", "middle", "x"},
      {"insert", "--tab-width", "0", "x"},
      {"entries", "--settings", settings},
      {"insert", "--entry", "9", "--settings", settings},
      {"delete-once", "--settings", TempDir() + "/missing.txt"},
      {"bogus"},
      {"--help"},
  };
}

bool HasJapanese(const std::string& text) {
  for (const char c : text)
    if (static_cast<unsigned char>(c) >= 0xE3 && static_cast<unsigned char>(c) <= 0xE9) return true;
  return false;
}

TEST(Catalogue, ACopyWithoutOneSaysTheSame) {
  const TScopedEnv language("LANGUAGE", nullptr);
  const TScopedEnv messages("LC_MESSAGES", nullptr);
  const TScopedEnv lang("LANG", nullptr);
  for (const char* locale : {"ja_JP.UTF-8", "C.UTF-8", "en_US.UTF-8"}) {
    const TScopedEnv all("LC_ALL", locale);
    const bool japanese = locale[0] == 'j';
    for (const auto& args : FailingRuns()) {
      const Result built = RunFilter(args, "a\n");
      Result lone;
      {
        const TScopedProgram program(LoneCopy());
        lone = RunFilter(args, "a\n");
      }
      const std::string what = std::string(locale) + " " + args[0] + " " + args.back();
      EXPECT_EQ(lone.status, built.status) << what;
      EXPECT_EQ(lone.err, built.err) << what;
      EXPECT_EQ(lone.out, built.out) << what;
      const std::string& shown = args[0] == "--help" ? lone.out : lone.err;
      if (japanese && args[0] != "--help") EXPECT_EQ(NotJapanese(lone.err), "") << what;
      // The help's Japanese lines hold no English word either (its usage
      // and option lines hold names only).
      std::istringstream lines(args[0] == "--help" && japanese ? lone.out : "");
      for (std::string line; std::getline(lines, line);)
        if (HasJapanese(line)) EXPECT_EQ(NotJapanese(line), "") << what;
      EXPECT_EQ(HasJapanese(shown), japanese) << what << ": " << shown;
    }
  }
}

// The language is chosen as gettext chooses it, whatever mix of variables
// an editor or a shell passes: the copy follows the build with its catalogue.
TEST(Catalogue, TheLanguageFollowsGettext) {
  const char* const values[] = {nullptr, "", "C", "POSIX", "C.UTF-8", "ja_JP.UTF-8", "en_US.UTF-8", "ja", "en",
                                "en:ja", "de_DE.UTF-8"};
  std::mt19937 random(32);
  std::uniform_int_distribution<size_t> pick(0, std::size(values) - 1);
  for (int round = 0; round < 40; ++round) {
    const char* chosen[4] = {values[pick(random)], values[pick(random)], values[pick(random)], values[pick(random)]};
    const TScopedEnv language("LANGUAGE", chosen[0]);
    const TScopedEnv all("LC_ALL", chosen[1]);
    const TScopedEnv messages("LC_MESSAGES", chosen[2]);
    const TScopedEnv lang("LANG", chosen[3]);
    const std::vector<std::string> args = {"insert", "> ", TempDir() + "/missing.txt"};
    const Result built = RunFilter(args);
    const TScopedProgram program(LoneCopy());
    const Result lone = RunFilter(args);
    std::string what;
    for (const char* v : chosen) what += std::string(v ? v : "(unset)") + " ";
    EXPECT_EQ(lone.err, built.err) << what;
  }
}

}  // namespace

// Runs every golden example through the engine and through the built filter
// (as-is, and with CR LF and LF swapped where the example allows); a mismatch
// writes the actual results beside the example as X.new.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <functional>
#include <iterator>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "Arguments.h"
#include "EditModels.h"
#include "ExampleFile.h"
#include "Utf.h"

#if !defined(MARQUILL_EXAMPLES_DIR) || !defined(MARQUILL_EXE)
#error "MARQUILL_EXAMPLES_DIR and MARQUILL_EXE must be defined"
#endif

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

std::vector<std::string> Names() {
  std::vector<std::string> entries;
  for (const auto& e : fs::directory_iterator(MARQUILL_EXAMPLES_DIR)) entries.push_back(e.path().filename().string());
  return ExampleNames(std::move(entries));
}

// A folder under $TMPDIR (default /tmp), made on first use and removed with
// all it holds when the test program ends.
class TTempDir {
public:
  TTempDir() {
    std::string t = (fs::temp_directory_path() / "marquill-examples-XXXXXX").string();
    if (!mkdtemp(t.data())) std::abort();
    Path = t;
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;
  ~TTempDir() {
    std::error_code ignored;
    fs::remove_all(Path, ignored);
  }
  fs::path Path;
};

const fs::path& TempDir() {
  static const TTempDir dir;
  return dir.Path;
}

struct TRun {
  int Status = -1;
  std::string Out, Err;
};

// The filter with `arguments`, `input` on standard input.
TRun RunFilter(const std::vector<std::u16string>& arguments, const std::string& input) {
  const fs::path in = TempDir() / "stdin", out = TempDir() / "stdout", err = TempDir() / "stderr";
  std::ofstream(in, std::ios::binary) << input;
  std::vector<std::string> args{MARQUILL_EXE};
  for (const std::u16string& a : arguments) args.push_back(Utf16ToUtf8Lossy(a));
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 0, in.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&fa, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t pid = 0;
  TRun run;
  if (posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    waitpid(pid, &status, 0);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  posix_spawn_file_actions_destroy(&fa);
  run.Out = ReadFile(out);
  run.Err = ReadFile(err);
  return run;
}

// One way of carrying out an edit: the text after it, or an error message.
using TPath = std::function<std::u16string(const std::vector<std::u16string>& arguments, const std::u16string& input,
                                           std::string& failure)>;

std::u16string ThroughEngine(const std::vector<std::u16string>& arguments, const std::u16string& input, std::string& failure) {
  TEdit edit;
  if (!EditFromArguments(arguments, edit, failure)) return {};
  // Toggle deletes or inserts as the text chooses, as the filter does.
  if (!arguments.empty() && arguments.front() == u"toggle") edit = ToggleEdit(edit, ChooseToggle(input, edit.Symbol));
  return ApplyEdit(input, edit);
}

std::u16string ThroughFilter(const std::vector<std::u16string>& arguments, const std::u16string& input, std::string& failure) {
  const TRun run = RunFilter(arguments, Utf16ToUtf8Lossy(input));
  if (run.Status != 0) {
    failure = "the filter ended with status " + std::to_string(run.Status) + ": " + run.Err;
    return {};
  }
  auto out = Utf8ToUtf16(run.Out);
  if (!out) failure = "the filter wrote no UTF-8";
  return out ? *out : std::u16string();
}

class Examples : public ::testing::TestWithParam<std::string> {
protected:
  // Every case of the example through `path`; on a mismatch of the as-is run,
  // the actual results go to X.new.
  void Check(const char* pathName, bool TExample::*runs, const TPath& path) {
    const fs::path file = fs::path(MARQUILL_EXAMPLES_DIR) / GetParam();
    TExample example;
    std::string error;
    ASSERT_TRUE(ParseExample(ReadFile(file), example, error)) << GetParam() << ": " << error;
    if (!(example.*runs)) GTEST_SKIP() << "not an example for the " << pathName;
    std::vector<std::u16string> actual;
    bool differs = false, broken = false;
    for (const TExampleCase& c : example.Cases) {
      SCOPED_TRACE(GetParam() + ":" + std::to_string(c.Line) + " " + c.Heading + " (" + pathName + ")");
      std::string failure;
      actual.push_back(path(c.Arguments, example.Input, failure));
      if (!failure.empty()) {
        broken = true;  // no text to show in X.new
        ADD_FAILURE() << failure;
        continue;
      }
      if (actual.back() != c.Expected) {
        differs = true;
        ADD_FAILURE() << "got:\n" << RenderBlock(actual.back()) << "expected:\n" << RenderBlock(c.Expected);
      }
      if (example.BreaksMatter) continue;
      const std::u16string swapped = path(c.Arguments, SwapLineEnds(example.Input), failure);
      EXPECT_EQ(failure, "");
      EXPECT_EQ(Utf16ToUtf8Lossy(swapped), Utf16ToUtf8Lossy(SwapLineEnds(c.Expected))) << "with CR LF and LF swapped";
    }
    if (differs && !broken) {
      const fs::path out = file.string() + ".new";
      std::ofstream(out, std::ios::binary) << RenderExample(example, actual);
      ADD_FAILURE() << "actual results written to " << out.string();
    }
  }
};

// Every file is in its written-back form already, so an accepted X.new is a
// clean rename and a file that reads differently from how it looks fails here.
TEST_P(Examples, ReadsAsWritten) {
  const std::string text = ReadFile(fs::path(MARQUILL_EXAMPLES_DIR) / GetParam());
  TExample example;
  std::string error;
  ASSERT_TRUE(ParseExample(text, example, error)) << GetParam() << ": " << error;
  EXPECT_EQ(RenderExample(example, {}), text);
}

TEST_P(Examples, Engine) { Check("engine", &TExample::ForEngine, ThroughEngine); }
TEST_P(Examples, Filter) { Check("filter", &TExample::ForFilter, ThroughFilter); }

INSTANTIATE_TEST_SUITE_P(Files, Examples, ::testing::ValuesIn(Names()), [](const auto& info) {
  std::string name = info.param.substr(0, info.param.size() - 8);
  for (char& c : name)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
});

TEST(ExampleFolder, HoldsExamples) { EXPECT_GE(Names().size(), 12u); }

// Any text survives being shown as a block and read back: blanks, every
// line-end kind, a last line with or without a break.
TEST(ExampleBlocks, RoundTripRandomTexts) {
  const char16_t pieces[] = {u' ', u'\t', u'\u3000', u'\r', u'\n', u'a', u'>', u'#', u'字'};
  uint32_t seed = 12345;
  for (int round = 0; round < 2000; ++round) {
    std::u16string text;
    seed = seed * 1103515245u + 12345u;
    const int length = static_cast<int>(seed >> 16) % 12;
    for (int i = 0; i < length; ++i) {
      seed = seed * 1103515245u + 12345u;
      text += pieces[(seed >> 16) % std::size(pieces)];
    }
    const std::string shown = RenderBlock(text);
    std::vector<std::string_view> lines;
    for (size_t start = 0; start < shown.size();) {
      const size_t end = shown.find('\n', start);
      lines.push_back(std::string_view(shown).substr(start, end - start));
      start = end + 1;
    }
    std::u16string back;
    std::string error;
    ASSERT_TRUE(ParseBlock(lines, back, error)) << shown << error;
    ASSERT_EQ(Utf16ToUtf8Lossy(back), Utf16ToUtf8Lossy(text)) << shown;
    if (!HasLoneCr(text)) {
      EXPECT_EQ(Utf16ToUtf8Lossy(SwapLineEnds(SwapLineEnds(text))), Utf16ToUtf8Lossy(text)) << shown;
    }
  }
}

// Mistakes in a file are reported, not read as some other text.
TEST(ExampleBlocks, RejectsUnclearFiles) {
  const char* const bad[] = {
      "== input\na b\n== delete x\n== end\n",                 // a plain space
      "== input\na∅\nb\n== delete x\n== end\n",              // ∅ before the last line
      "== input\na¶b\n== delete x\n== end\n",                 // a mark inside a line
      "== input\na␍\n== delete x\na␍\n== end\n",             // lone CR without breaks: fixed
      "== input\na\n== delete x\n",                           // no end
      "== input\na\n== delete-once x\n== end\n",             // delete-once takes -e
      "== input\na\n== insert --at middle x\n== end\n",      // bad option value
      "== input\na\n== end\n",                                // no edit
      "colour: red\n== input\na\n== delete x\n== end\n",     // unknown option
      "== input\r\na\r\n== delete x\r\n== end\r\n",           // CR in the file itself
  };
  for (const char* file : bad) {
    TExample example;
    std::string error;
    EXPECT_FALSE(ParseExample(file, example, error)) << file;
    EXPECT_NE(error, "") << file;
  }
}

}  // namespace

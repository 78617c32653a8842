// Fuzz target for the whole edit of an input: random bytes (mostly the
// characters that matter, some raw), random edits, fed through a pipe in
// pieces of random sizes, each read before the next is written, or as a
// file; by one thread or by a crew. On input that is text, the output must
// be the engine's edit of it. On a fault, the failure must name the line and
// column of the first bad byte, and the output must be exactly what was due
// before it, whatever the edit: the engine's edit of the lines before the
// bad one, after the mark; nothing at all where there is no such line.
#include <dirent.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <sched.h>
#include <string>
#include <thread>
#include <vector>

#include "EditUnit.h"
#include "FuzzKit.h"
#include "IndentKernel.h"
#include "Messages.h"
#include "Pipeline.h"
#include "Utf.h"

namespace {

size_t ThreadCount() {
  size_t n = 0;
  if (DIR* d = opendir("/proc/self/task")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

std::string ReadBack(int fd) {
  std::string out(static_cast<size_t>(lseek(fd, 0, SEEK_END)), '\0');
  if (pread(fd, out.data(), out.size(), 0) != static_cast<ssize_t>(out.size())) Fail("read back", u"", u"", u"");
  return out;
}

// Writes each piece once the reader has taken the one before, then ends the
// input; Stop ends it early.
void Feed(int fd, const std::vector<std::string>* pieces, std::atomic<bool>* stop) {
  for (const std::string& p : *pieces) {
    int left = 1;
    while (!*stop && left > 0)
      if (ioctl(fd, FIONREAD, &left) != 0) break;
    if (*stop || write(fd, p.data(), p.size()) != static_cast<ssize_t>(p.size())) break;
  }
  close(fd);
}

struct TRun {
  std::string Out;
  std::optional<TFailure> Failure;
  bool Changed = false;
};

TRun RunEdit(const TEdit& edit, const std::vector<std::string>& pieces, bool file) {
  std::string all;
  for (const std::string& p : pieces) all += p;
  const int sink = memfd_create("out", 0);
  int source = -1;
  std::atomic<bool> stop{false};
  std::thread feeder;
  const size_t threads = ThreadCount();
  if (file) {
    source = memfd_create("in", 0);
    if (write(source, all.data(), all.size()) != static_cast<ssize_t>(all.size()) || lseek(source, 0, SEEK_SET) != 0)
      Fail("memfd", u"", u"", u"");
  } else {
    int fds[2];
    if (pipe(fds) != 0) Fail("pipe", u"", u"", u"");
    source = fds[0];
    feeder = std::thread(Feed, fds[1], &pieces, &stop);
  }
  TRun run;
  try {
    run.Changed = EditText(edit, TTextSource{source, file ? "f" : "-", {}}, TTextSink{sink, "output"}, true).Changed;
  } catch (const TFailure& f) {
    run.Failure = f;
  }
  stop = true;
  if (feeder.joinable()) feeder.join();
  // A crew's reader may still be reading after a failure: it ends at the
  // input's end, before its descriptor is closed.
  while (ThreadCount() > threads) sched_yield();
  close(source);
  run.Out = ReadBack(sink);
  close(sink);
  return run;
}

using namespace std::string_view_literals;
const std::string_view kText[] = {" ", "\t", "\r", "\n", "\r\n", ">", "#", "a", "b", "\xE3\x81\x82", "\xE3\x80\x80",
                                  "-", "\xFF", "\0"sv, "\xE3\x81", "\xEF\xBB\xBF", "> ", "\\"};
const char* const kSymbols[] = {">", "#", "> ", " >", "-", "\xE3\x81\x82", "//", "\xE3\x80\x80"};

// The input and its pieces: each byte below 0xF0 picks a string and, by a
// spare bit, ends a piece after it; any other takes the next byte raw.
std::vector<std::string> Pieces(TFuzzInput& in) {
  constexpr size_t kCount = sizeof kText / sizeof *kText;
  std::vector<std::string> pieces(1);
  while (in.N > 0) {
    const uint8_t b = in.Byte();
    if (b >= 0xF0) {
      pieces.back() += static_cast<char>(in.Byte());
    } else {
      pieces.back() += kText[b % kCount];
      if ((b / kCount) & 1 && pieces.size() < 16) pieces.emplace_back();
    }
  }
  return pieces;
}

u16 Decoded(const std::string& s) { return Utf8ToUtf16(s).value(); }

// The engine's result as the filter writes it: the mark first, the edit of
// the text after it.
std::string EngineOut(const std::string& mark, std::string_view body, const TEdit& edit) {
  return mark + Utf16ToUtf8(ApplyEdit(Decoded(std::string(body)), edit)).value();
}

}  // namespace

// Byte 0: the edit kind (bits 0-1), position (2), lines (3-4), a crew
// (5), a file rather than a pipe (6), a UTF-8 mark first (7). Byte 1: the
// symbols, and whether blanks are kept (7). Byte 2: the tab width. The rest:
// the input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in{data, size};
  const uint8_t options = in.Byte(), symbols = in.Byte(), tabWidth = in.Byte();
  TEdit edit;
  edit.Kind = static_cast<TEditKind>(options & 3);
  edit.Position = options & 4 ? ipFirstChar : ipLineHead;
  edit.Target = static_cast<TTargetLines>((options >> 3) & 3);
  edit.Symbol = Decoded(kSymbols[symbols & 7]);
  edit.Indent = TIndentWay{1u + tabWidth % 8, (symbols & 0x80) != 0};
  if (edit.Kind == ekDeleteOnce || edit.Kind == ekDeleteAll) {
    edit.Symbols = {edit.Symbol};
    if (symbols & 0x40) edit.Symbols.push_back(Decoded(kSymbols[(symbols >> 3) & 7]));
    edit.Symbol.clear();
  } else if (symbols & 0x40) {
    edit.Symbol += Decoded(kSymbols[(symbols >> 3) & 7]);
  }
  std::vector<std::string> pieces = Pieces(in);
  if (options & 0x80) pieces.front().insert(0, "\xEF\xBB\xBF");
  ForceCrewWorkers(options & 0x20 ? 2 : 0);
  const TRun run = RunEdit(edit, pieces, options & 0x40);
  std::string all;
  for (const std::string& p : pieces) all += p;

  const std::string mark = all.starts_with("\xEF\xBB\xBF") ? "\xEF\xBB\xBF" : "";
  const std::string_view body = std::string_view(all).substr(mark.size());
  u16 text;
  std::optional<size_t> bad = Utf8Ref(body, text);
  const size_t nul = body.find('\0');
  if (nul != std::string_view::npos && (!bad || nul < *bad)) bad = nul;
  if (all.starts_with("\xFF\xFE") || all.starts_with("\xFE\xFF")) {
    if (!run.Failure || !run.Out.empty()) Fail("UTF-16 refused", Widen(all), Widen(run.Out), u"");
  } else if (!bad) {
    if (run.Failure) Fail("EditText fails", Widen(all), Widen(run.Failure->Message), u"");
    const std::string expected = body.empty() ? mark : EngineOut(mark, body, edit);
    CheckBytes("EditText", Widen(all), run.Out, expected);
    if (run.Changed != (expected != all)) Fail("EditText notes the change", Widen(all), u"", u"");
  } else {
    // The line and column of the first bad byte, and the lines before it.
    uint64_t line = 1;
    size_t lineStart = 0;
    for (size_t i = 0; i < *bad; ++i)
      if (body[i] == '\n' || (body[i] == '\r' && (i + 1 >= body.size() || body[i + 1] != '\n'))) ++line, lineStart = i + 1;
    const std::string place = std::string(options & 0x40 ? "f" : "-") + ":" + std::to_string(line) + ":" +
                              std::to_string(*bad - lineStart + 1);
    if (!run.Failure || run.Failure->Status != kExitBad || run.Failure->Place != place)
      Fail("EditText fault place", Widen(all), Widen(run.Failure ? run.Failure->Place : "none"), Widen(place));
    const std::string_view before = body.substr(0, lineStart);
    const std::string due = lineStart == 0 ? "" : EngineOut(mark, before, edit);
    CheckBytes("EditText output before a fault", Widen(all), run.Out, due);
  }
  return 0;
}

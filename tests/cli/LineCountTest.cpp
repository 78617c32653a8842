// Edges of the filter's counting and cutting that only large inputs reach:
// break counts past what one byte of a vector lane holds, and a long line
// whose CR LF is split between two reads of a pipe.
#include <sys/ioctl.h>
#include <unistd.h>
#include <gtest/gtest.h>
#include <cstdio>
#include <string>
#include <thread>
#include "ByteEdits.h"
#include "EditUnit.h"
#include "LineBreaks.h"
#include "Messages.h"
#include "PieceReader.h"
#include "Pipeline.h"
#include "ScanIsas.h"
#include "TextBytes.h"

namespace {

std::string Repeated(const std::string& line, size_t times) {
  std::string s;
  for (size_t i = 0; i < times; ++i) s += line;
  return s;
}

// The breaks as the definition counts them, one byte at a time.
uint64_t BreaksByDefinition(std::string_view s) {
  uint64_t breaks = 0;
  for (size_t i = 0; i < s.size(); ++i) breaks += EndsLine(s.data(), s.size(), i);
  return breaks;
}

TEST(ByteEdits, DeletionCountsEveryBreak) {
  // Lines whose breaks fall in the same place of every 16 bytes, or in every
  // place, for well over 255 blocks; with and without the symbol's bytes.
  const std::string texts[] = {
      Repeated("> 0123456789abc\n", 300),   Repeated("0123456789abcde\n", 1000),
      Repeated("> 0123456789ab\r\n", 300),  Repeated("> 0123456789abc\r", 300),
      Repeated("\n", 5000),                 Repeated("\r", 4099),
      Repeated("\r\n", 4099),               Repeated("> a\r\n\n\r", 2000) + "> tail",
  };
  const TEdit edits[] = {{ekDeleteGiven, ipLineHead, tlAll, u"> ", {}},
                         {ekDeleteAll, ipLineHead, tlAll, {}, {u">", u"#", u"//"}},
                         {ekDeleteOnce, ipLineHead, tlAll, {}, {u"a", u"b", u"c", u"d", u"e", u">"}}};
  TByteBuffer out;
  ForEachIsa([&](TIsa) {
    for (const TEdit& edit : edits) {
      const TByteEdit byteEdit(edit);
      ASSERT_TRUE(byteEdit.Usable());
      for (const std::string& text : texts) {
        for (size_t skip : {0, 1, 7}) {  // the blocks start at every kind of place
          const std::string_view piece = std::string_view(text).substr(skip);
          EXPECT_EQ(byteEdit.Apply(piece, false, out).Breaks, BreaksByDefinition(piece))
              << "kind " << int(edit.Kind) << " text of " << text.size() << " bytes from " << skip;
        }
      }
    }
  });
}

TEST(FilterPipeline, LongLineCrLfSplitBetweenReads) {
  // A line longer than the filter holds, its CR at the end of one read and
  // its LF in the next, after the reader has taken all before it.
  const std::string line(kLongLine + 1000, 'x');
  for (int workers : {0, 2}) {
    int p[2];
    ASSERT_EQ(pipe(p), 0);
    std::FILE* out = std::tmpfile();
    ASSERT_NE(out, nullptr);
    std::thread feeder([&] {
      const std::string first = line + "\r", second = "\nb\n";
      for (size_t done = 0; done < first.size();) {
        const ssize_t n = write(p[1], first.data() + done, first.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      for (int left = 1; left > 0;) {
        if (ioctl(p[0], FIONREAD, &left) != 0) break;
        if (left > 0) std::this_thread::yield();
      }
      usleep(20000);  // the reader is left waiting on the CR
      (void)!write(p[1], second.data(), second.size());
      close(p[1]);
    });
    ForceCrewWorkers(workers);
    std::string failure;
    try {
      EditText(TEdit{ekInsert, ipLineHead, tlAll, u"> ", {}}, TTextSource{p[0], "-"}, TTextSink{fileno(out), "output"},
               false);
    } catch (const TFailure& f) {
      failure = f.Message;
    }
    ForceCrewWorkers(-1);
    feeder.join();
    close(p[0]);
    std::string got(static_cast<size_t>(lseek(fileno(out), 0, SEEK_END)), '\0');
    ASSERT_EQ(pread(fileno(out), got.data(), got.size(), 0), static_cast<ssize_t>(got.size()));
    std::fclose(out);
    EXPECT_EQ(failure, "");
    EXPECT_TRUE(got == "> " + line + "\r\n> b\n") << "workers " << workers << ": " << got.size() << " bytes, ending "
                                                   << got.substr(got.size() - std::min<size_t>(got.size(), 8));
  }
}

}  // namespace

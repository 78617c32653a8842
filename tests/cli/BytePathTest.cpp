// The filter's byte path against the engine: the edits on bytes against the
// UTF-16 edits, and whole texts through the pipeline (in one thread and by a
// crew) against the engine's edit of the whole text, errors included.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ReadFile.h"
#include "ByteEdits.h"
#include "ByteFaults.h"
#include "EditUnit.h"
#include "LineBreaks.h"
#include "Messages.h"
#include "Pipeline.h"
#include "ScanIsas.h"
#include "TextBytes.h"
#include "TextScan.h"
#include "Utf.h"
#include "Utf8Check.h"

namespace {

// Texts of a few lines: indentation of every kind, blank lines, all breaks,
// symbols and their trimmed forms.
std::u16string RandomLines(std::mt19937& rng, size_t lines) {
  static const std::u16string parts[] = {u" ",      u"\t", u"\u3000", u"> ", u"# ", u"a",
                                         u"\u3042", u">",  u"#",      u" > ", u"\U0001F600", u"\u3000>"};
  static const std::u16string breaks[] = {u"\n", u"\r\n", u"\r"};
  std::u16string text;
  for (size_t i = 0; i < lines; ++i) {
    for (size_t n = rng() % 7; n > 0; --n) text += parts[rng() % 12];
    if (i + 1 < lines || rng() % 2) text += breaks[rng() % 3];
  }
  return text;
}

const std::vector<TEdit>& StreamingEdits() {
  static const std::vector<TEdit> edits = {
      {ekInsert, ipLineHead, tlAll, u"> ", {}},
      {ekInsert, ipLineHead, tlNonBlank, u"\U0001F600", {}},
      {ekInsert, ipLineHead, tlAfterBlank, u"# ", {}},
      {ekInsert, ipLineHead, tlAll, u"a long symbol of more than sixteen bytes: \u3042 ", {}},
      {ekDeleteGiven, ipLineHead, tlAll, u"> ", {}},
      {ekDeleteGiven, ipLineHead, tlAll, u" > ", {}},
      {ekDeleteGiven, ipLineHead, tlAll, u"\u3000>", {}},
      {ekDeleteOnce, ipLineHead, tlAll, {}, {u"> ", u"# "}},
      {ekDeleteOnce, ipLineHead, tlAll, {}, {u"#", u"> ", u"\U0001F600"}},
      {ekDeleteAll, ipLineHead, tlAll, {}, {u"# ", u">"}},
      {ekDeleteAll, ipLineHead, tlAll, {}, {u" # ", u"\u3042", u"a\tcaption"}},
      // More first bytes than one pass looks for.
      {ekDeleteAll, ipLineHead, tlAll, {}, {u"a", u"> ", u"#", u"\u3000>", u"\U0001F600", u"\u3042"}},
  };
  return edits;
}

TEST(ByteEdits, MatchTheEngineOnPieces) {
  std::mt19937 rng(20261208);
  TByteBuffer out;
  for (int round = 0; round < 600; ++round) {
    const TIsaOfRound isa(round);
    const std::u16string text = RandomLines(rng, 1 + rng() % 14);
    if (text.empty()) continue;  // no bytes, no line: the filter writes nothing
    const std::string bytes = *Utf16ToUtf8(text);
    for (const TEdit& edit : StreamingEdits()) {
      const TByteEdit byteEdit(edit);
      ASSERT_TRUE(byteEdit.Usable());
      std::string joined;
      bool afterNonBlank = false;
      for (size_t done = 0; done < bytes.size();) {
        const size_t end = done + 1 + rng() % (bytes.size() - done);
        size_t cut = end == bytes.size() ? end - done : WholeLinesLength(std::string_view(bytes).substr(done, end - done));
        if (cut == 0) cut = bytes.size() - done;
        const std::string_view piece = std::string_view(bytes).substr(done, cut);
        // Every other round with the line ends found by the check.
        TLineEnds ends;
        uint64_t breaks = 0;
        const bool given = round % 2 && byteEdit.TakesLineEnds() && ends.CollectClean(piece, breaks);
        const TByteEditResult r = byteEdit.Apply(piece, afterNonBlank, out, given ? &ends : nullptr);
        const std::string got(r.Unchanged ? piece : out.View());
        EXPECT_EQ(got, *Utf16ToUtf8(ApplyEditToPiece(*Utf8ToUtf16(piece), edit, afterNonBlank))) << bytes;
        EXPECT_EQ(r.Breaks, CountBreaks(piece));
        joined += got;
        afterNonBlank = !LastLineIsBlank(piece);
        done += cut;
      }
      EXPECT_EQ(joined, *Utf16ToUtf8(ApplyEdit(text, edit))) << bytes << " kind " << int(edit.Kind);
    }
  }
  // What the bytes cannot carry goes to the engine.
  EXPECT_FALSE(TByteEdit(TEdit{ekInsert, ipLineHead, tlAll, u"\xD800", {}}).Usable());
  EXPECT_FALSE(TByteEdit(TEdit{ekDeleteAll, ipLineHead, tlAll, {}, {u"a", u"\xDC00"}}).Usable());
  EXPECT_FALSE(TByteEdit(TEdit{ekInsert, ipFirstChar, tlAll, u"> ", {}}).Usable());
}

// The insertions that need the whole text's measure, and symbols that
// exercise the copies of a short and of a long one.
std::vector<TEdit> MeasuredEdits() {
  std::vector<TEdit> edits;
  for (const TInsertPosition position : {ipLineHead, ipFirstChar})
    for (const TTargetLines target : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank})
      for (const char16_t* symbol : {u"> ", u"\u3000\U0001F600", u"a symbol longer than sixteen bytes \u3042"})
        if (position == ipFirstChar || target == tlLeastIndent) edits.push_back({ekInsert, position, target, symbol, {}});
  // Other tab widths, with the indentation rewritten or every blank kept.
  for (const TInsertPosition position : {ipLineHead, ipFirstChar})
    for (const TTargetLines target : {tlAll, tlNonBlank, tlLeastIndent, tlAfterBlank})
      for (const TIndentWay way : {TIndentWay{1, true}, TIndentWay{3, false}, TIndentWay{4, true}, TIndentWay{8, true},
                                   TIndentWay{8, false}, TIndentWay{64, false}})
        if (position == ipFirstChar || target == tlLeastIndent)
          edits.push_back({ekInsert, position, target, way.Keep ? u"\u3000\U0001F600" : u"> ", {}, way});
  return edits;
}

bool SameMeasure(const TIndentMeasure& a, const TIndentMeasure& b) {
  return a.Kinds == b.Kinds && a.LeastLength == b.LeastLength && a.LeastWidth == b.LeastWidth;
}

TEST(ByteEdits, MeasuredInsertionsMatchTheEngineOnPieces) {
  // Texts whose lines carry some indentation first, so that the least is
  // not always none; long ones, so that the measure goes past its first
  // lines; pieces cut anywhere between lines.
  std::mt19937 rng(20261210);
  static const std::u16string leads[] = {u"", u"  ", u"\t", u"\u3000", u" \t", u"        "};
  TByteBuffer out;
  for (int round = 0; round < 400; ++round) {
    const TIsaOfRound isa(round);
    const std::u16string lead = leads[rng() % 6];
    std::u16string text;
    for (size_t lines = 1 + rng() % (round % 4 == 0 ? 200 : 14); lines > 0; --lines) {
      std::u16string line = RandomLines(rng, 1);
      if (line.empty() || line.back() != u'\n') line += u"\n";
      // Half the rounds indent every line, each its own way: the least is
      // then some columns, reached by characters of different kinds.
      text += (round % 2 ? leads[1 + rng() % 5] : rng() % 8 ? lead : u"") + line;
    }
    if (rng() % 3 == 0) text.pop_back();  // a last line without its break
    const std::string bytes = *Utf16ToUtf8(text);
    std::vector<std::string_view> pieces;
    for (size_t done = 0; done < bytes.size();) {
      const size_t end = done + 1 + rng() % (bytes.size() - done);
      size_t cut = end == bytes.size() ? end - done : WholeLinesLength(std::string_view(bytes).substr(done, end - done));
      if (cut == 0) cut = bytes.size() - done;
      pieces.push_back(std::string_view(bytes).substr(done, cut));
      done += cut;
    }
    // The measure of the pieces, for a tab width.
    const auto measureOf = [&](size_t tabWidth) {
      TIndentMeasure whole, expected;
      MeasureIndentation(text, expected, tabWidth);
      for (const std::string_view piece : pieces) {
        TIndentMeasure measure;
        MeasureIndentBytes(piece, measure, tabWidth);
        TIndentMeasure reference;
        MeasureIndentation(*Utf8ToUtf16(piece), reference, tabWidth);
        EXPECT_TRUE(SameMeasure(measure, reference)) << bytes << " tab width " << tabWidth;
        MergeIndentMeasure(whole, measure);
      }
      EXPECT_TRUE(SameMeasure(whole, expected)) << bytes << " tab width " << tabWidth;
      return whole;
    };
    for (const TEdit& edit : MeasuredEdits()) {
      const TIndentMeasure whole = measureOf(edit.Indent.TabWidth);
      const TByteEdit byteEdit(edit);
      ASSERT_TRUE(byteEdit.MeasuredUsable());
      std::string joined;
      bool afterNonBlank = false;
      for (const std::string_view piece : pieces) {
        TLineEnds ends;
        uint64_t breaks = 0;
        const bool given = round % 2 && ends.CollectClean(piece, breaks);
        const TByteEditResult r = byteEdit.ApplyMeasured(piece, afterNonBlank, whole, out, given ? &ends : nullptr);
        EXPECT_EQ(r.Breaks, CountBreaks(piece));
        joined += out.View();
        afterNonBlank = !LastLineIsBlank(piece);
      }
      EXPECT_EQ(joined, *Utf16ToUtf8(ApplyEdit(text, edit)))
          << bytes << " position " << int(edit.Position) << " target " << int(edit.Target) << " tab width "
          << edit.Indent.TabWidth << " keep " << edit.Indent.Keep;
    }
  }
  // One piece larger than the lines gathered at once, with a line longer
  // than that among short ones.
  std::u16string text;
  while (text.size() < 300000) text += RandomLines(rng, 20) + u"\n";
  text += u"\t " + std::u16string(600000, u'x') + u"\r\n";
  while (text.size() < 1000000) text += RandomLines(rng, 20) + u"\n";
  const std::string bytes = *Utf16ToUtf8(text);
  for (const TEdit& edit : MeasuredEdits()) {
    TIndentMeasure measure, expected;
    MeasureIndentBytes(bytes, measure, edit.Indent.TabWidth);
    MeasureIndentation(text, expected, edit.Indent.TabWidth);
    EXPECT_TRUE(SameMeasure(measure, expected));
    const TByteEditResult r = TByteEdit(edit).ApplyMeasured(bytes, false, measure, out);
    EXPECT_EQ(r.Breaks, CountBreaks(bytes));
    EXPECT_TRUE(out.View() == *Utf16ToUtf8(ApplyEdit(text, edit)))
        << "position " << int(edit.Position) << " target " << int(edit.Target);
  }
  // A symbol the bytes cannot carry, and choices outside the enumerations,
  // go to the engine.
  EXPECT_FALSE(TByteEdit(TEdit{ekInsert, ipFirstChar, tlAll, u"\xD800", {}}).MeasuredUsable());
  EXPECT_FALSE(TByteEdit(TEdit{ekInsert, ipFirstChar, TTargetLines(9), u"> ", {}}).MeasuredUsable());
  EXPECT_FALSE(TByteEdit(TEdit{ekInsert, TInsertPosition(5), tlLeastIndent, u"> ", {}}).MeasuredUsable());
}

TEST(ByteEdits, MeasuredInsertionsStayInTheirBytesWithAForeignMeasure) {
  // A file written between the two passes meets a measure that is not its
  // own, and bytes never checked: the edit may be wrong (the change is
  // reported), but writes only into its buffer (as the sanitizer sees).
  std::mt19937 rng(20261209);
  TByteBuffer out;
  static const char alphabet[] = {' ', '\t', '\xE3', '\x80', '\n', '\r', 'a', '\xFF'};
  for (int round = 0; round < 3000; ++round) {
    std::string piece(rng() % 200, 'a');
    for (char& c : piece) c = alphabet[rng() % sizeof alphabet];
    TIndentMeasure measure;
    measure.Kinds = static_cast<uint8_t>(rng() % 8);
    measure.LeastLength = rng() % 6;
    measure.LeastWidth = rng() % 12;
    for (const TEdit& edit : MeasuredEdits()) {
      TLineEnds ends;
      ends.Collect(piece);
      const TByteEditResult r = TByteEdit(edit).ApplyMeasured(piece, rng() % 2, measure, out, round % 2 ? &ends : nullptr);
      EXPECT_EQ(r.Breaks, CountBreaks(piece));
      EXPECT_LE(out.Size, piece.size() * std::max<size_t>(4, edit.Indent.TabWidth) + (ends.size() + 1) * (12 * 3 + 48));
    }
  }
}

TEST(ByteEdits, DeepTabsRewrittenAtEveryTabWidth) {
  // A mixture of blanks is rewritten as spaces: a line of tabs grows by the
  // tab width per byte. Each edit writes into a buffer of its own, so that
  // room sized for another tab width is caught by the address sanitizer.
  for (const size_t tabWidth : {1, 2, 3, 4, 5, 8, 16, 64}) {
    for (const size_t tabs : {1, 7, 200, 3000}) {
      for (const char16_t* lead : {u"a", u" a", u"\t a"}) {
        const std::u16string text = std::u16string(lead) + u"\n \tb\r\n" + std::u16string(tabs, u'\t') + u"c\n";
        const std::string bytes = *Utf16ToUtf8(text);
        for (const TTargetLines target : {tlAll, tlLeastIndent}) {
          const TEdit edit{ekInsert, ipFirstChar, target, u"> ", {}, TIndentWay{tabWidth, false}};
          TIndentMeasure measure;
          MeasureIndentBytes(bytes, measure, tabWidth);
          TByteBuffer out;
          TByteEdit(edit).ApplyMeasured(bytes, false, measure, out);
          ASSERT_TRUE(out.View() == *Utf16ToUtf8(ApplyEdit(text, edit)))
              << "tab width " << tabWidth << ", " << tabs << " tabs, target " << int(target);
        }
      }
    }
  }
}

TEST(ByteEdits, LineEndsAsTheEngineCutsThem) {
  std::mt19937 rng(99);
  TLineEnds ends;
  for (int round = 0; round < 2000; ++round) {
    std::string s(rng() % 100, 'a');
    for (char& c : s) c = "ab\r\n \xE3"[rng() % 6];
    const uint64_t breaks = ends.Collect(s);
    std::vector<size_t> expected;
    for (size_t start = 0; start < s.size();) expected.push_back(start = FindLineEnd(std::string_view(s), start));
    EXPECT_EQ(std::vector<size_t>(ends.begin(), ends.end()), expected) << s;
    EXPECT_EQ(breaks, CountBreaks(s)) << s;
  }
}

// The filter's output and failure for one text, from a file or a pipe.
struct TRun {
  std::string Out, Place, Message;
};
TRun Filter(const TEdit& edit, const std::string& text, bool viaPipe) {
  char dir[] = "/tmp/marquill-bytes-XXXXXX";
  if (!mkdtemp(dir)) std::abort();
  const std::string in = std::string(dir) + "/in", out = std::string(dir) + "/out";
  std::ofstream(in, std::ios::binary) << text;
  int fd = open(in.c_str(), O_RDONLY);
  std::thread feeder;
  if (viaPipe) {
    close(fd);
    int p[2];
    if (pipe(p) != 0) std::abort();
    fd = p[0];
    feeder = std::thread([w = p[1], &text] {
      for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(w, text.data() + done, std::min<size_t>(text.size() - done, 1 + done % 70000));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
      }
      close(w);
    });
  }
  const int sink = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  TRun run;
  try {
    EditText(edit, TTextSource{fd, "in"}, TTextSink{sink, "output"}, false);
  } catch (const TFailure& f) {
    run.Place = f.Place;
    run.Message = f.Message;
  }
  close(sink);
  if (feeder.joinable()) {
    // A refused input may be left unread: drain it so that the feeder ends.
    char buf[65536];
    while (read(fd, buf, sizeof buf) > 0) {
    }
    feeder.join();
  }
  close(fd);
  run.Out = ReadFile(out);
  std::system((std::string("rm -rf ") + dir).c_str());
  return run;
}

// Runs f with this thread (and so the threads it starts) on one processor.
template <class F>
void OnOneCore(F f) {
  cpu_set_t saved, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof saved, &saved), 0);
  CPU_ZERO(&one);
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &saved)) {
      CPU_SET(c, &one);
      break;
    }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  f();
  sched_setaffinity(0, sizeof saved, &saved);
}

TEST(FilterPipeline, WholeTextsMatchTheEngine) {
  // Texts of several pieces, with and without a bad byte, through the
  // pipeline in one thread and by a crew, from a file and from a pipe: the
  // engine's edit of the whole text, or the lines before the bad one (for
  // an edit that looks at the whole text, nothing where the bad byte came
  // before its measure settled) and the bad byte's line and column.
  std::mt19937 rng(20261209);
  for (int round = 0; round < 5; ++round) {
    std::u16string units;
    while (units.size() < 140000 + rng() % 100000) units += RandomLines(rng, 50);
    // A line longer than the filter holds at once: edited by its head.
    if (round == 3) units.insert(units.find(u'\n', units.size() / 2) + 1, std::u16string((4 << 20) + 1000, u'x') + u"\n");
    std::string text = *Utf16ToUtf8(units);
    if (round % 2) text.insert(rng() % text.size(), round % 4 == 1 ? std::string(1, '\0') : "\xE3\x81");
    const auto fault = ReferenceFault(text);
    for (const TEdit& edit : {StreamingEdits()[rng() % 4], StreamingEdits()[4 + rng() % 8],
                              TEdit{ekInsert, ipFirstChar, tlNonBlank, u"> ", {}},
                              MeasuredEdits()[rng() % MeasuredEdits().size()]}) {
      std::string expected, place;
      if (!fault) {
        expected = *Utf16ToUtf8(ApplyEdit(units, edit));
      } else {
        const size_t lineStart = LineStartBefore(text, fault->At);
        expected = *Utf16ToUtf8(ApplyEdit(*Utf8ToUtf16(text.substr(0, lineStart)), edit));
        place = "in:" + std::to_string(CountBreaks(text.substr(0, lineStart)) + 1) + ":" +
                std::to_string(fault->At - lineStart + 1);
      }
      for (bool pipe : {false, true}) {
        // As the cores choose, on one core, and by a crew of two workers.
        for (int way = pipe ? 1 : 0; way < 3; ++way) {
          TRun run;
          if (way == 1) OnOneCore([&] { run = Filter(edit, text, pipe); });
          ForceCrewWorkers(way == 2 ? 2 : -1);
          if (way != 1) run = Filter(edit, text, pipe);
          ForceCrewWorkers(-1);
          EXPECT_EQ(run.Place, place) << "round " << round << " pipe " << pipe << " way " << way;
          const bool nothing = fault && !EditWorksPieceByPiece(edit) && run.Out.empty();
          EXPECT_TRUE(nothing || run.Out == expected)
              << "round " << round << " kind " << int(edit.Kind) << " pipe " << pipe << " way " << way;
        }
      }
    }
  }
}

TEST(FilterPipeline, MeasureSettlingAnywhereMatchesTheEngine) {
  // The edits that look at the whole text read it until its measure can no
  // longer change, then edit what they kept and the rest as it comes. Texts
  // of lines indented with one kind, in which the lines that settle the
  // measure (one without indentation, one of another kind) come anywhere or
  // nowhere: within the first piece, pieces later, or in neither order;
  // from a file (kept, or read again) and a pipe, in one thread and by a
  // crew.
  std::mt19937 rng(20261210);
  static const std::u16string kinds[] = {u" ", u"\t", u"\u3000"};
  const std::vector<TEdit> edits = MeasuredEdits();
  for (int round = 0; round < 8; ++round) {
    const std::u16string& first = kinds[rng() % 3];
    const std::u16string& other = kinds[rng() % 3];
    const size_t size = 300000 + rng() % 300000;
    const size_t flushAt = round % 4 == 3 ? SIZE_MAX : rng() % size;  // a line without indentation
    const size_t otherAt = round % 4 == 2 ? SIZE_MAX : rng() % size;  // a line of the other kind
    std::u16string units;
    while (units.size() < size) {
      const size_t at = units.size();
      std::u16string line = first + first + (rng() % 3 ? u"a line" : u"");
      if (at <= flushAt && flushAt < at + 40) line = u"flush";
      if (at <= otherAt && otherAt < at + 40) line = other + u"b";
      units += line + (rng() % 2 ? u"\n" : u"\r\n");
    }
    const std::string text = *Utf16ToUtf8(units);
    for (int e = 0; e < 3; ++e) {
      const TEdit& edit = edits[rng() % edits.size()];
      const std::string expected = *Utf16ToUtf8(ApplyEdit(units, edit));
      for (int way = 0; way < 4; ++way) {
        // From a file, kept or read again, by a crew, and from a pipe.
        KeepFilesUpToForTests(way == 1 ? 0 : kKeptFileBytes);
        ForceCrewWorkers(way == 2 ? 2 : 0);
        const TRun run = Filter(edit, text, way == 3);
        ForceCrewWorkers(-1);
        KeepFilesUpToForTests(kKeptFileBytes);
        EXPECT_EQ(run.Place, "") << run.Message;
        EXPECT_TRUE(run.Out == expected) << "round " << round << " way " << way << " target " << int(edit.Target)
                                         << " position " << int(edit.Position) << " tab width "
                                         << edit.Indent.TabWidth << " keep " << edit.Indent.Keep;
      }
    }
  }
}

}  // namespace

// The edit of one input: its pieces taken from the reader, checked and
// edited, and written in order; in one thread, or by a crew where more
// cores are free. The edits that look at the whole text go through twice.
#include "Pipeline.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <stdexcept>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

#include "ByteEdits.h"
#include "Files.h"
#include "IndentKernel.h"
#include "Messages.h"
#include "PieceCrew.h"
#include "PieceReader.h"
#include "PieceWork.h"
#include "Translate.h"

namespace {

// The processors this process may run on.
size_t FreeCores() {
#ifdef __linux__
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<size_t>(std::max(CPU_COUNT(&set), 1));
#endif
  return std::max<size_t>(std::thread::hardware_concurrency(), 1);
}

// The most workers: each keeps pieces in memory (RunCrew's ring holds two
// for each), and the reader and the writer stay one thread each however
// many there are.
constexpr size_t kMostWorkers = 4;

// Workers beside the reader and the writer; none where they would only take
// turns, and the work is then done in the calling thread. On two cores the
// reader of the output takes the other one: measured there, one thread was
// as fast as a crew for every edit, or faster.
std::atomic<int> gForcedWorkers{-1};
std::function<void()> gBetweenPasses;

// For tests: MARQUILL_THREADS=N gives the crew N workers (0: none) on any
// machine, so that a sanitizer sees the crew where the cores would not call
// it; -1 where it is not set to a number from 0 to 16.
int WorkersOfEnvironment() {
  const char* value = std::getenv("MARQUILL_THREADS");
  if (!value || !*value) return -1;
  char* end = nullptr;
  const long n = std::strtol(value, &end, 10);
  return *end == '\0' && n >= 0 && n <= 16 ? static_cast<int>(n) : -1;
}

size_t CrewWorkers() {
  if (const int forced = gForcedWorkers.load(); forced >= 0) return static_cast<size_t>(forced);
  static const int fromEnvironment = WorkersOfEnvironment();
  if (fromEnvironment >= 0) return static_cast<size_t>(fromEnvironment);
  const size_t cores = FreeCores();
  return cores < 3 ? 0 : std::min<size_t>(cores - 1, kMostWorkers);
}

// Where a bad byte is: its line from 1 and its column in bytes from 1.
struct TFaultPlace {
  uint64_t Line = 0;
  uint64_t Column = 0;
  bool Nul = false;
};

[[noreturn]] void FailBadByte(const TTextSource& source, const TFaultPlace& place) {
  FailBadInputAt(source.Operand, place.Line, place.Column,
                 place.Nul ? _("NUL byte in the input; convert UTF-16 files to UTF-8") : _("not valid UTF-8"));
}

// The largest regular file whose pieces a first pass keeps (for tests).
std::atomic<uint64_t> gKeptFileBytes{kKeptFileBytes};

// The first pass's pieces, until the measure settles: the rest of the input
// is then read once, by the second pass, which checks it.
class TUntilSettled : public TPieceSource {
public:
  explicit TUntilSettled(std::shared_ptr<TPieceSource> from) : FFrom(std::move(from)) {}
  bool Next(TPiece& piece) override { return !Settled.load() && FFrom->Next(piece); }
  bool MayWaitLong() const override { return FFrom->MayWaitLong(); }
  // Set by the first pass; while unset, the first pass reads to the end.
  std::atomic<bool> Settled{false};

private:
  std::shared_ptr<TPieceSource> FFrom;
};

// What the first pass of an edit that looks at the whole text gathers, piece
// by piece in order: the measure so far, and the pieces, kept to be edited
// without reading them again (a regular file's only up to MostKept bytes, as
// a large one costs less read again than held).
struct TFirstPass {
  TFirstPass(const TEdit& edit, std::shared_ptr<TPieceSource> from, uint64_t mostKept)
      : Edit(edit), Source(std::make_shared<TUntilSettled>(std::move(from))), MostKept(mostKept) {}
  const TEdit& Edit;
  std::shared_ptr<TUntilSettled> Source;
  uint64_t MostKept;
  TIndentMeasure Measure;
  std::shared_ptr<std::vector<TStoredPiece>> Kept = std::make_shared<std::vector<TStoredPiece>>();
  uint64_t KeptBytes = 0;  // of the pieces taken, until they pass MostKept
  // The first bad byte's place: the text is then edited up to the line
  // before it, as if it ended there, and the fault is reported after that.
  std::optional<TFaultPlace> Fault;
  uint64_t FaultLineAt = 0;  // stream offset of the bad byte's line

  // Every piece read is kept.
  bool KeptWhole() const { return KeptBytes <= MostKept; }

  // The lines of piece before its fault, measured: the last piece taken.
  void TakeBeforeFault(TPiece& piece, const TIndentMeasure& measure, size_t lineStart, TFaultPlace place) {
    if (Fault) return;
    piece.In.Size = lineStart;
    Take(piece, measure);
    Fault = place;
    FaultLineAt = piece.Offset + lineStart;
    Source->Settled.store(true);
  }

  void Take(TPiece& piece, const TIndentMeasure& measure) {
    if (Fault) return;  // pieces the crew read ahead
    MergeIndentMeasure(Measure, measure);
    if (MeasureIsSettled(Measure, Edit.Position, Edit.Indent)) Source->Settled.store(true);
    if (!KeptWhole()) return;
    KeptBytes += piece.In.Size;
    if (!KeptWhole()) {
      Kept->clear();
      return;
    }
    piece.In.ShrinkToFit();  // a pipe's pieces are often smaller than their buffers
    Kept->push_back({std::move(piece.In), piece.Offset, std::get<TLinesPiece>(piece.Kind).AfterNonBlank});
  }
};

// Writes the pieces' results in order, or, in a first pass, hands them to
// it; counts lines for the messages. A byte order mark goes out just before
// the first checked line, so that nothing goes out before a check.
class TResultWriter {
public:
  TResultWriter(const TTextSource& source, const TTextSink& sink, uint64_t firstOffset, std::string mark)
      : FSource(source), FSink(sink), FLineStart(firstOffset), FMark(std::move(mark)) {}
  // A first pass: nothing is written.
  void MeasureInto(TFirstPass* first) { FFirst = first; }
  void Write(TPiece& piece, TPieceResult& result);
  // The mark, if nothing went out yet.
  void Finish() { Put({}); }
  bool Changed() const { return FChanged; }

private:
  void Put(std::string_view out) {
    if (!FMark.empty()) WriteAll(FSink.Fd, FMark.data(), FMark.size(), FSink.Name);
    FMark.clear();
    WriteAll(FSink.Fd, out.data(), out.size(), FSink.Name);
  }
  const TTextSource& FSource;
  const TTextSink& FSink;
  TFirstPass* FFirst = nullptr;
  uint64_t FLines = 0;      // line breaks written so far
  uint64_t FLineStart = 0;  // stream offset where the line being written began
  std::string FMark;        // not written yet
  bool FChanged = false;
};

void TResultWriter::Write(TPiece& piece, TPieceResult& result) {
  const std::string_view in = piece.In.View();
  if (result.Fault) {
    // What comes before the bad line is written; the column counts from the
    // start of the line, which may lie in an earlier piece.
    const size_t begun = LineStartBefore(in, result.Fault->At);
    const uint64_t from = begun > 0 ? piece.Offset + begun : FLineStart;
    const TFaultPlace place{FLines + result.Breaks + 1, piece.Offset + result.Fault->At - from + 1, result.Fault->Nul};
    if (FFirst) return FFirst->TakeBeforeFault(piece, result.Measure, begun, place);
    if (begun > 0) Put(result.Out.View());
    FailBadByte(FSource, place);
  }
  FLines += result.Breaks;
  if (const size_t begun = LineStartBefore(in, in.size()); begun > 0) FLineStart = piece.Offset + begun;
  if (FFirst) {
    FFirst->Take(piece, result.Measure);
    return;
  }
  Put((result.WriteIn ? piece.In : result.Out).View());
  FChanged = FChanged || result.Changed;
}

// The pieces of Then, each cut at the stream offset End, where a line begins.
class TUpTo : public TPieceSource {
public:
  TUpTo(std::shared_ptr<TPieceSource> then, uint64_t end) : FThen(std::move(then)), FEnd(end) {}
  bool Next(TPiece& piece) override {
    if (FDone || !FThen->Next(piece) || piece.Offset >= FEnd) return false;
    piece.In.Size = static_cast<size_t>(std::min<uint64_t>(piece.In.Size, FEnd - piece.Offset));
    FDone = piece.Offset + piece.In.Size >= FEnd;
    return true;
  }
  bool MayWaitLong() const override { return FThen->MayWaitLong(); }

private:
  std::shared_ptr<TPieceSource> FThen;
  uint64_t FEnd;
  bool FDone = false;
};

// Every piece of source worked on and written.
void RunPieces(std::shared_ptr<TPieceSource> source, const TPieceWork& work, TResultWriter& writer) {
  if (const size_t workers = CrewWorkers(); workers > 0) {
    RunCrew(std::move(source), work, [&](TPiece& p, TPieceResult& r) { writer.Write(p, r); }, workers);
    return;
  }
  TPiece piece;
  TPieceResult result;
  while (source->Next(piece)) {
    WorkOnPiece(work, piece, result);
    writer.Write(piece, result);
  }
}

// A regular file too large to keep, read again from its start: it must be
// the one the first pass read, unchanged, for as long as it is read.
std::shared_ptr<TPieceSource> ReadAgain(const TEdit& edit, const TTextSource& source, const TFileKind& kind,
                                        uint64_t& offset) {
  if (!SeekTo(source.Fd, kind.Offset)) FailRead(source.Name(), 0, errno);
  TStart second = ReadStart(source.Fd, source.Name());
  if (!SameFileSince(source.Fd, kind)) FailChangedSince(source.Fd, kind, source.Name());
  offset = second.Offset;
  auto reread = std::make_shared<TPieceReader>(source.Fd, kind, source.Name(), std::move(second), edit, false);
  reread->WatchForChanges();
  return reread;
}

// The edits that look at the whole text: a first pass checks and measures
// the text by pieces (so that bad input stops the reading at once) until
// the measure settles, the input ends or a bad byte comes; the second edits
// the pieces with that measure, those the first kept and then the rest of
// the input, or a regular file too large to keep read again; after a bad
// byte, only the lines before it.
TEditOutcome EditWhole(const TEdit& edit, const TByteEdit& bytes, const TTextSource& source, const TTextSink& sink,
                       bool noteChanges, TStart start, TFileKind kind) {
  std::string mark = std::move(start.Mark);
  const uint64_t textOffset = start.Offset;
  auto reader = std::make_shared<TPieceReader>(source.Fd, kind, source.Name(), std::move(start), edit, false);
  if (source.ReadBefore) reader->WatchForChanges();
  TFirstPass first(edit, reader, kind.Regular ? gKeptFileBytes.load() : UINT64_MAX);
  {
    TResultWriter writer(source, sink, textOffset, {});
    writer.MeasureInto(&first);
    RunPieces(first.Source, TPieceWork{.Edit = edit, .ByteEdit = bytes, .MeasureOnly = true}, writer);
  }
  BetweenReadings();
  std::shared_ptr<TPieceSource> again;
  uint64_t secondOffset = textOffset;
  bool checked = false;  // every piece's bytes, beyond those kept
  if (first.KeptWhole()) {
    // The reader goes on where the first pass stopped, or ends at once.
    again = std::make_shared<TStoredPieces>(first.Kept, reader);
  } else {
    again = ReadAgain(edit, source, kind, secondOffset);
    // The first pass checked the whole file, or up to its bad byte. Read
    // again, it is checked again unless its times prove it unchanged: the
    // reader then compares them after each read, before the bytes go on,
    // so no byte goes out unchecked.
    checked = (first.Fault || !first.Source->Settled.load()) && kind.TimesProve;
  }
  if (first.Fault) again = std::make_shared<TUpTo>(std::move(again), first.FaultLineAt);
  TResultWriter writer(source, sink, secondOffset, std::move(mark));
  const TPieceWork work{
      .Edit = edit, .ByteEdit = bytes, .Measure = &first.Measure, .NoteChanges = noteChanges, .Checked = checked};
  RunPieces(std::move(again), work, writer);
  if (first.Fault) FailBadByte(source, *first.Fault);
  writer.Finish();
  return {writer.Changed()};
}

}  // namespace

std::string TTextSource::Name() const { return Operand == "-" ? _("standard input") : Quote(Operand); }

void ForceCrewWorkers(int Workers) { gForcedWorkers.store(Workers); }

void KeepFilesUpToForTests(uint64_t Bytes) { gKeptFileBytes.store(Bytes); }

void SetBetweenPassesForTests(std::function<void()> Hook) { gBetweenPasses = std::move(Hook); }

void BetweenReadings() {
  if (gBetweenPasses) gBetweenPasses();
}

TEditOutcome EditText(const TEdit& Edit, const TTextSource& Source, const TTextSink& Sink, bool NoteChanges) {
  // Every symbol the filter takes is valid Unicode, which the bytes carry.
  const TByteEdit bytes(Edit);
  if (!(EditWorksPieceByPiece(Edit) ? bytes.Usable() : bytes.MeasuredUsable()))
    throw std::logic_error("internal error: an edit that bytes cannot carry");
  const TFileKind kind = Source.ReadBefore ? *Source.ReadBefore : KindOfDescriptor(Source.Fd);
  TStart start = ReadStart(Source.Fd, Source.Name());
  if (Source.ReadBefore && !SameFileSince(Source.Fd, kind)) FailChangedSince(Source.Fd, kind, Source.Name());
  if (start.Ended && start.Bytes.Size == 0) {
    // Nothing but perhaps a byte order mark: no line at all.
    if (kind.Regular && start.Offset != kind.Size) FailSizeChanged(Source.Name());
    if (!start.Mark.empty()) WriteAll(Sink.Fd, start.Mark.data(), start.Mark.size(), Sink.Name);
    return {};
  }
  if (!EditWorksPieceByPiece(Edit)) return EditWhole(Edit, bytes, Source, Sink, NoteChanges, std::move(start), kind);
  TResultWriter writer(Source, Sink, start.Offset, std::move(start.Mark));
  auto reader = std::make_shared<TPieceReader>(Source.Fd, kind, Source.Name(), std::move(start), Edit, true);
  if (Source.ReadBefore) reader->WatchForChanges();
  RunPieces(std::move(reader), TPieceWork{.Edit = Edit, .ByteEdit = bytes, .NoteChanges = NoteChanges}, writer);
  writer.Finish();
  return {writer.Changed()};
}

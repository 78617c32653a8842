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
#include <thread>
#include <utility>
#include <vector>

#ifdef __linux__
#include <sched.h>
#endif

#include "ByteEdits.h"
#include "Files.h"
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

[[noreturn]] void FailBadByte(const TTextSource& source, uint64_t line, uint64_t column, bool nul) {
  FailBadInputAt(source.Operand, line, column,
                 nul ? _("NUL byte in the input; convert UTF-16 files to UTF-8") : _("not valid UTF-8"));
}

// Writes the pieces' results in order, or, in a first pass, gathers their
// measure (and keeps their bytes); counts lines for the messages.
class TResultWriter {
public:
  TResultWriter(const TTextSource& source, const TTextSink& sink, uint64_t firstOffset)
      : FSource(source), FSink(sink), FLineStart(firstOffset) {}
  // A first pass: nothing is written.
  void MeasureInto(TIndentMeasure* measure, std::vector<TStoredPiece>* store) {
    FMeasure = measure;
    FStore = store;
  }
  void Write(TPiece& piece, TPieceResult& result);
  bool Changed() const { return FChanged; }

private:
  const TTextSource& FSource;
  const TTextSink& FSink;
  TIndentMeasure* FMeasure = nullptr;
  std::vector<TStoredPiece>* FStore = nullptr;
  uint64_t FLines = 0;      // line breaks written so far
  uint64_t FLineStart = 0;  // stream offset where the line being written began
  bool FChanged = false;
};

void TResultWriter::Write(TPiece& piece, TPieceResult& result) {
  const std::string_view in = piece.In.View();
  if (result.Fault) {
    // What comes before the bad line is written; the column counts from the
    // start of the line, which may lie in an earlier piece.
    if (!FMeasure) WriteAll(FSink.Fd, result.Out.Data(), result.Out.Size, FSink.Name);
    const size_t begun = LineStartBefore(in, result.Fault->At);
    const uint64_t from = begun > 0 ? piece.Offset + begun : FLineStart;
    FailBadByte(FSource, FLines + result.Breaks + 1, piece.Offset + result.Fault->At - from + 1, result.Fault->Nul);
  }
  FLines += result.Breaks;
  if (const size_t begun = LineStartBefore(in, in.size()); begun > 0) FLineStart = piece.Offset + begun;
  if (FMeasure) {
    MergeIndentMeasure(*FMeasure, result.Measure);
    if (FStore) {
      piece.In.ShrinkToFit();  // a pipe's pieces are often smaller than their buffers
      FStore->push_back({std::move(piece.In), piece.Offset, std::get<TLinesPiece>(piece.Kind).AfterNonBlank});
    }
    return;
  }
  const TByteBuffer& out = result.WriteIn ? piece.In : result.Out;
  WriteAll(FSink.Fd, out.Data(), out.Size, FSink.Name);
  FChanged = FChanged || result.Changed;
}

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

// The edits that look at the whole text: a first pass checks and measures
// the text by pieces (so that bad input stops the reading at once); the
// second edits its pieces with the measure of the whole. A file is read
// again for it; other input is kept from the first pass.
TEditOutcome EditWhole(const TEdit& edit, const TTextSource& source, const TTextSink& sink, bool noteChanges,
                       TStart start, TFileKind kind) {
  const TByteEdit bytes(edit);
  TIndentMeasure measure;
  auto store = std::make_shared<std::vector<TStoredPiece>>();
  std::string mark = std::move(start.Mark);
  {
    TResultWriter writer(source, sink, start.Offset);
    writer.MeasureInto(&measure, kind.Regular ? nullptr : store.get());
    const TPieceWork work{.Edit = edit, .Bytes = bytes, .MeasureOnly = true};
    RunPieces(std::make_shared<TPieceReader>(source.Fd, kind, source.Name(), std::move(start), edit, false), work,
              writer);
  }
  if (!mark.empty()) WriteAll(sink.Fd, mark.data(), mark.size(), sink.Name);
  if (gBetweenPasses) gBetweenPasses();
  std::shared_ptr<TPieceSource> again;
  uint64_t firstOffset = 0;
  if (kind.Regular) {
    if (!SeekTo(source.Fd, kind.Offset)) FailRead(source.Name(), 0, errno);
    TStart second = ReadStart(source.Fd, source.Name());
    if (!SameFileSince(source.Fd, kind)) FailChangedSince(source.Fd, kind, source.Name());
    firstOffset = second.Offset;
    auto reader = std::make_shared<TPieceReader>(source.Fd, kind, source.Name(), std::move(second), edit, false);
    reader->WatchForChanges();
    again = std::move(reader);
  } else {
    firstOffset = store->empty() ? 0 : store->front().Offset;
    again = std::make_shared<TStoredPieces>(store);
  }
  // The first pass checked the bytes. A file read again is checked again
  // unless its times prove it unchanged: the reader then compares them after
  // each read, before the bytes go on, so no byte goes out unchecked.
  const bool checked = !kind.Regular || kind.TimesProve;
  TResultWriter writer(source, sink, firstOffset);
  const TPieceWork work{
      .Edit = edit, .Bytes = bytes, .Measure = &measure, .NoteChanges = noteChanges, .Checked = checked};
  RunPieces(std::move(again), work, writer);
  return {writer.Changed()};
}

}  // namespace

std::string TTextSource::Name() const { return Operand == "-" ? _("standard input") : Quote(Operand); }

void ForceCrewWorkers(int Workers) { gForcedWorkers.store(Workers); }

void SetBetweenPassesForTests(std::function<void()> Hook) { gBetweenPasses = std::move(Hook); }

TEditOutcome EditText(const TEdit& Edit, const TTextSource& Source, const TTextSink& Sink, bool NoteChanges) {
  const TFileKind kind = KindOfDescriptor(Source.Fd);
  TStart start = ReadStart(Source.Fd, Source.Name());
  if (start.Ended && start.Bytes.Size == 0) {
    // Nothing but perhaps a byte order mark: no line at all.
    if (!start.Mark.empty()) WriteAll(Sink.Fd, start.Mark.data(), start.Mark.size(), Sink.Name);
    if (kind.Regular && start.Offset != kind.Size) FailSizeChanged(Source.Name());
    return {};
  }
  if (!EditWorksPieceByPiece(Edit)) return EditWhole(Edit, Source, Sink, NoteChanges, std::move(start), kind);
  if (!start.Mark.empty()) WriteAll(Sink.Fd, start.Mark.data(), start.Mark.size(), Sink.Name);
  const TByteEdit bytes(Edit);
  TResultWriter writer(Source, Sink, start.Offset);
  auto reader = std::make_shared<TPieceReader>(Source.Fd, kind, Source.Name(), std::move(start), Edit, true);
  RunPieces(std::move(reader), TPieceWork{.Edit = Edit, .Bytes = bytes, .NoteChanges = NoteChanges}, writer);
  return {writer.Changed()};
}

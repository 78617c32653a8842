// One ordered pipeline for every input: a reader cuts the bytes into pieces
// of whole lines, a few workers decode, edit and encode them, and the calling
// thread writes the results in input order as soon as each is ready.
#include "Pipeline.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "Files.h"
#include "LineScan.h"
#include "Messages.h"
#include "StringUnit.h"
#include "TextBytes.h"
#include "TextDecoding.h"
#include "Translate.h"
#include "Utf.h"

namespace {

constexpr size_t kPiece = size_t{128} << 10;  // small enough to stay in the cache
// A line longer than this is edited by its head, and its rest copied as it
// streams by, so that memory stays bounded whatever the line's length.
constexpr size_t kLongLine = size_t{4} << 20;

size_t WorkerThreads() { return std::clamp<size_t>(std::thread::hardware_concurrency(), 1, 4); }

[[noreturn]] void FailBadByte(const TTextSource& source, uint64_t line, uint64_t column, bool nul) {
  const std::string quoted = Quote(source.Operand.empty() ? "-" : source.Operand);
  FailBadInputAt(quoted.substr(1, quoted.size() - 2), line, column,
                 nul ? _("NUL byte in the input; a UTF-16 file needs a byte order mark") : _("not valid UTF-8"));
}

[[noreturn]] void FailRead(const TTextSource& source, uint64_t offset, int error) {
  FailIo(Fill(_("cannot read %s at byte offset %s: %s"), {source.Name, std::to_string(offset), ErrorText(error)}));
}

[[noreturn]] void FailSizeChanged(const TTextSource& source) {
  FailIo(Fill(_("%s changed its size while being read"), {source.Name}));
}

// UTF-16 text decoded into a buffer reused from piece to piece.
class TUnits {
public:
  // Strict decoding that also refuses a NUL byte (UTF-16 without a byte
  // order mark looks like UTF-8 holding NULs); false with the offset of the
  // first bad byte, and nul telling which fault it is.
  bool Decode(std::string_view bytes, size_t& bad, bool& nul) {
    const bool valid = Decode(bytes, bad);
    const size_t zero = bytes.substr(0, valid ? bytes.size() : bad).find('\0');
    nul = zero != std::string_view::npos;
    if (nul) bad = zero;
    return valid && !nul;
  }
  // Strict decoding; false with the offset of the first bad byte.
  bool Decode(std::string_view bytes, size_t& bad) {
    if (bytes.size() > FCapacity) {
      FCapacity = std::max(bytes.size(), FCapacity + FCapacity / 2);
      FData.reset(new char16_t[FCapacity]);
    }
    FSize = 0;
    auto units = DecodeUtf8To(bytes, FData.get(), &bad);
    if (!units) return false;
    FSize = *units;
    return true;
  }
  std::u16string_view View() const { return {FData.get(), FSize}; }

private:
  std::unique_ptr<char16_t[]> FData;
  size_t FCapacity = 0;
  size_t FSize = 0;
};

void EncodeInto(std::u16string_view text, TByteBuffer& out) {
  out.Reserve(std::max<size_t>(3 * text.size(), 1));
  auto n = EncodeUtf8To(text, out.Data());
  if (!n) throw std::logic_error("internal error: the result is not valid Unicode");
  out.Size = *n;
}

// The edit of valid UTF-8 bytes with the measure of the whole text, into out:
// on the bytes themselves where the edit allows it, else decoded and encoded.
void EditMeasuredInto(std::string_view bytes, const TEdit& edit, const TIndentMeasure& measure, bool afterNonBlank,
                      TByteBuffer& out) {
  const std::optional<std::string> edited = ApplyEditToMeasuredUtf8Piece(bytes, edit, measure, afterNonBlank);
  if (!edited) {
    EncodeInto(ApplyEditToMeasuredPiece(*Utf8ToUtf16(bytes), edit, measure, afterNonBlank), out);
    return;
  }
  out.Reserve(std::max<size_t>(edited->size(), 1));
  std::memcpy(out.Data(), edited->data(), edited->size());
  out.Size = edited->size();
}

// What the reader has seen before handing the rest to the pipeline: the bytes
// read so far (after a UTF-8 byte order mark) and how many were read.
struct TStart {
  TByteBuffer Bytes;
  std::string Mark;      // the byte order mark, written first
  uint64_t Offset = 0;   // stream offset of Bytes[0]
  bool Ended = false;    // the input ended already
};

// Reads until the input's first bytes tell whether it begins with a byte
// order mark. Refuses UTF-16.
TStart ReadStart(const TTextSource& source) {
  TStart s;
  s.Bytes.Reserve(kPiece);
  const std::string_view utf8Mark = "\xEF\xBB\xBF";
  for (;;) {
    const std::string_view have = s.Bytes.View();
    const bool maybeMark = have.size() < 3 && utf8Mark.substr(0, have.size()) == have;
    if (!maybeMark && have.size() >= 2) break;
    if (!maybeMark && have.size() == 1 && have[0] != '\xFF' && have[0] != '\xFE') break;
    const long r = ReadSome(source.Fd, s.Bytes.Data() + s.Bytes.Size, s.Bytes.Capacity() - s.Bytes.Size);
    if (r < 0) FailRead(source, s.Bytes.Size, errno);
    if (r == 0) {
      s.Ended = true;
      break;
    }
    s.Bytes.Size += static_cast<size_t>(r);
  }
  const TByteOrderMark mark = ByteOrderMarkOf(s.Bytes.View());
  if (mark == bomUtf16Le || mark == bomUtf16Be)
    FailBadInput(Fill(_("%s is UTF-16 text (it begins with a UTF-16 byte order mark); convert it to UTF-8 first"),
                      {source.Name}));
  if (mark == bomUtf8) {
    s.Mark.assign(utf8Mark);
    std::memmove(s.Bytes.Data(), s.Bytes.Data() + 3, s.Bytes.Size - 3);
    s.Bytes.Size -= 3;
    s.Offset = 3;
  }
  return s;
}

// What a piece holds: whole lines to edit; the edited head of a long line,
// already in Out; or the rest of a long line (up to its break), copied as it
// is once it proved to be UTF-8.
enum class TPieceKind { Lines, Ready, Verbatim };

// A piece and what became of it.
struct TPiece {
  TPieceKind Kind = TPieceKind::Lines;
  TByteBuffer In;
  uint64_t Offset = 0;         // stream offset of In[0]
  bool AfterNonBlank = false;  // the line before the piece is a non-blank one
  TByteBuffer Out;
  size_t Breaks = 0;           // line breaks in In
  bool Bad = false;            // In holds bytes that are not UTF-8: Out has the lines before them
  bool BadIsNul = false;       // the bad byte is a NUL
  uint64_t BadOffset = 0;
  size_t BreaksBeforeBad = 0;
  bool Changed = false;
  TIndentMeasure Measure;      // of In, when the text is only measured
  std::unique_ptr<char[]> Kept;  // a copy of In, when the text is only measured and kept
  std::string_view Stored;     // the bytes of a text measured before, to edit instead of In
  bool Done = false;
  std::exception_ptr Raised;
};

// A piece of a text that has been checked and measured, kept as it came.
struct TStoredPiece {
  std::unique_ptr<char[]> Bytes;
  size_t Size = 0;
  bool AfterNonBlank = false;
};

// Everything the threads share; the reader keeps it alive, as it may be left
// blocked in a read when the pipeline stops early.
struct TShared {
  std::mutex Lock;
  // Each thread waits on its own kind of news, so that a piece handed over
  // wakes a worker, a piece done the writer, a place freed the reader.
  std::condition_variable PieceFilled, PieceDone, PlaceFreed;
  std::vector<TPiece> Ring;
  uint64_t Filled = 0;   // pieces handed over by the reader
  uint64_t Taken = 0;    // pieces taken by the workers
  uint64_t Written = 0;  // pieces written; their places are free again
  bool ReadingEnded = false;
  bool Stop = false;
  // A failed read, or an input that changed its size.
  int ReadErrno = 0;
  uint64_t ReadErrorOffset = 0;
  bool SizeChanged = false;
  std::exception_ptr ReaderRaised;
  TEdit Edit;  // the reader's own copy: it may outlive the caller's
  // The whole text's measure, for the edits that need it.
  TIndentMeasure Measure;
  bool Measured = false;
  // The first of two passes of the edits that look at the whole text: the
  // pieces are only checked and measured.
  bool MeasureOnly = false;
  bool KeepText = false;  // and kept, for a second pass that cannot read it again
  // A text measured already: the reader hands these pieces over in turn.
  std::shared_ptr<std::vector<TStoredPiece>> Stored;

  TPiece& At(uint64_t seq) { return Ring[seq % Ring.size()]; }
};

// The first bytes of a long line (no break among them but perhaps a CR at
// the very end) edited, when that is enough to edit the whole line.
bool EditLongLineHead(const TEdit& edit, TPiece& piece, size_t& headLength) {
  std::string_view bytes = piece.In.View();
  size_t h = CompleteUtf8Length(bytes);
  if (h > 0 && bytes[h - 1] == '\r') --h;
  auto units = Utf8ToUtf16(bytes.substr(0, h));
  if (!units) return false;  // edited as lines: the bad byte is reported there
  auto head = ApplyEditToLineHead(*units, edit, piece.AfterNonBlank);
  if (!head) return false;
  EncodeInto(*head, piece.Out);
  headLength = h;
  return true;
}

// The length of a long line's rest in Bytes up to and including its break,
// or 0 when the break is not in them yet (a CR at the end may begin a CR LF).
size_t LongLineEnd(std::string_view bytes, bool ended) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\n') return i + 1;
    if (bytes[i] == '\r') {
      if (i + 1 < bytes.size()) return bytes[i + 1] == '\n' ? i + 2 : i + 1;
      return ended ? i + 1 : 0;
    }
  }
  return 0;
}

void HandStoredPieces(const std::shared_ptr<TShared>& s) {
  for (uint64_t seq = 0; seq < s->Stored->size(); ++seq) {
    std::unique_lock<std::mutex> held(s->Lock);
    s->PlaceFreed.wait(held, [&] { return s->Stop || seq - s->Written < s->Ring.size(); });
    if (s->Stop) break;
    TPiece& piece = s->At(seq);
    const TStoredPiece& stored = (*s->Stored)[seq];
    piece.Kind = TPieceKind::Lines;
    piece.In.Size = 0;
    piece.Stored = std::string_view(stored.Bytes.get(), stored.Size);
    piece.AfterNonBlank = stored.AfterNonBlank;
    piece.Done = false;
    ++s->Filled;
    s->PieceFilled.notify_one();
  }
}

// Cuts what fd gives into pieces and hands them over; returns early when the
// pipeline stops.
void ReadFromDescriptor(const std::shared_ptr<TShared>& s, int fd, TFileKind kind, TStart start) {
  const TEdit& edit = s->Edit;
  const bool noteBlankness = edit.Kind == ekInsert && edit.Target == tlAfterBlank;
  uint64_t seq = 0;
  auto acquire = [&](uint64_t want) -> TPiece* {
    std::unique_lock<std::mutex> held(s->Lock);
    s->PlaceFreed.wait(held, [&] { return s->Stop || want - s->Written < s->Ring.size(); });
    return s->Stop ? nullptr : &s->At(want);
  };
  auto hand = [&](TPiece& piece) {
    std::lock_guard<std::mutex> held(s->Lock);
    piece.Done = false;
    ++s->Filled;
    s->PieceFilled.notify_one();
  };
  TPiece* cur = acquire(seq);
  if (!cur) return;
  cur->Kind = TPieceKind::Lines;
  cur->In = std::move(start.Bytes);
  cur->Offset = start.Offset;
  cur->AfterNonBlank = false;
  uint64_t read = start.Offset + cur->In.Size;  // bytes read from the start
  bool ended = start.Ended;
  bool unseen = cur->In.Size > 0;  // the first bytes may hold whole lines already
  bool inLongLine = false;         // cur holds the rest of a long line
  // When to try to edit a long line by its head: never for the edits that
  // look at the whole text.
  const size_t noHead = static_cast<size_t>(-1);
  size_t tryHeadAt = s->Measured || s->MeasureOnly ? noHead : kLongLine;
  const bool skipsBlankLines = tryHeadAt != noHead && edit.Kind == ekInsert &&
                               (edit.Target == tlNonBlank || edit.Target == tlAfterBlank);
  // Hands cur over as `kind` up to `cut`; the rest begins the next piece.
  auto handOver = [&](size_t cut, TPieceKind kind, bool blankLineEnds = false) -> bool {
    TPiece* next = acquire(seq + 1);
    if (!next) return false;
    TByteBuffer& in = cur->In;
    next->In.Reserve(std::max(kPiece, in.Size - cut));
    std::memcpy(next->In.Data(), in.Data() + cut, in.Size - cut);
    next->In.Size = in.Size - cut;
    next->Offset = cur->Offset + cut;
    next->Kind = TPieceKind::Lines;
    in.Size = cut;
    cur->Kind = kind;
    // A long line's head proved it non-blank.
    next->AfterNonBlank =
        noteBlankness && !blankLineEnds && (kind == TPieceKind::Lines ? !LastLineIsBlank(in.View()) : true);
    hand(*cur);
    cur = next;
    ++seq;
    return true;
  };
  for (;;) {
    {
      std::lock_guard<std::mutex> held(s->Lock);
      if (s->Stop) return;
    }
    TByteBuffer& in = cur->In;
    if (!ended && !std::exchange(unseen, false)) {
      if (in.Size == in.Capacity()) in.Reserve(std::max(kPiece, in.Capacity() * 2));  // one long line
      const long r = ReadSome(fd, in.Data() + in.Size, in.Capacity() - in.Size);
      if (r < 0) {
        std::lock_guard<std::mutex> held(s->Lock);
        s->ReadErrno = errno;
        s->ReadErrorOffset = read;
        break;
      }
      in.Size += static_cast<size_t>(r);
      read += static_cast<uint64_t>(r);
      ended = r == 0;
    }
    if (ended && kind.Regular && read != kind.Size) {
      std::lock_guard<std::mutex> held(s->Lock);
      s->SizeChanged = true;
      break;
    }
    if (inLongLine) {
      // Up to the break, in pieces of whole characters; then lines again.
      const size_t end = LongLineEnd(in.View(), ended);
      if (end > 0) {
        inLongLine = false;
        if (!handOver(end, TPieceKind::Verbatim)) return;
        continue;
      }
      if (ended) {
        cur->Kind = TPieceKind::Verbatim;
        if (in.Size > 0) hand(*cur);
        break;
      }
      const size_t whole = CompleteUtf8Length(in.View());
      if (in.Size >= kPiece && whole > 0 && !handOver(whole, TPieceKind::Verbatim)) return;
      continue;
    }
    if (ended) {
      if (in.Size > 0) hand(*cur);
      break;
    }
    // What the input had for now: its whole lines go on at once, so that a
    // slow writer gets each line back before it writes the next.
    const size_t cut = WholeLinesLength(in.View());
    if (cut > 0) {
      if (skipsBlankLines && in.Size >= kLongLine) {
        // A long line that held nothing but indentation up to its break: a
        // blank line, which this insertion leaves as it came.
        const size_t first = FindLineEnd(in.View(), 0);
        const size_t indent = IndentLength(in.View());
        if (first >= kLongLine && (in.View()[indent] == '\r' || in.View()[indent] == '\n')) {
          tryHeadAt = kLongLine;
          if (!handOver(first, TPieceKind::Verbatim, true)) return;
          continue;
        }
      }
      if (tryHeadAt != noHead) tryHeadAt = kLongLine;
      if (!handOver(cut, TPieceKind::Lines)) return;
      continue;
    }
    if (in.Size >= tryHeadAt) {
      size_t head = 0;
      if (EditLongLineHead(edit, *cur, head)) {
        inLongLine = true;
        tryHeadAt = kLongLine;
        if (!handOver(head, TPieceKind::Ready)) return;
      } else if (const size_t indent = edit.Kind == ekInsert ? 0 : IndentLength(in.View()); indent > 0) {
        // A deletion never touches the indentation: a long run of it goes
        // out as it came, and what follows it decides the line.
        tryHeadAt = kLongLine;
        if (!handOver(indent, TPieceKind::Verbatim)) return;
      } else {
        tryHeadAt = in.Size * 2;  // an indentation or a run of symbols as long: look again later
      }
    }
  }
}

// The reader's thread: the pieces of the input, or those stored by a first
// pass.
void ReadPieces(const std::shared_ptr<TShared>& s, int fd, TFileKind kind, TStart start) {
  try {
    if (s->Stored) HandStoredPieces(s);
    else ReadFromDescriptor(s, fd, kind, std::move(start));
  } catch (...) {
    std::lock_guard<std::mutex> held(s->Lock);
    s->ReaderRaised = std::current_exception();
  }
  std::lock_guard<std::mutex> held(s->Lock);
  s->ReadingEnded = true;
  s->PieceFilled.notify_all();
  s->PieceDone.notify_all();
}

// True when bytes are UTF-8, checked a window at a time so that a long
// piece copied as it came needs no text of its size; else bad is the offset
// of the first bad byte.
bool CheckUtf8(std::string_view bytes, TUnits& units, size_t& bad, bool& nul) {
  for (size_t at = 0; at < bytes.size();) {
    size_t n = std::min(kPiece, bytes.size() - at);
    if (at + n < bytes.size()) n = CompleteUtf8Length(bytes.substr(at, n));  // whole characters per window
    if (!units.Decode(bytes.substr(at, n), bad, nul)) {
      bad += at;
      return false;
    }
    at += n;
  }
  return true;
}

void EditPiece(const TEdit& edit, const TIndentMeasure* measure, bool measureOnly, bool keepText, TPiece& piece,
               TUnits& units, bool noteChanges) {
  if (!piece.Stored.empty()) {
    // Checked already, and counted: only edited.
    piece.Bad = false;
    piece.Breaks = 0;
    EditMeasuredInto(piece.Stored, edit, *measure, piece.AfterNonBlank, piece.Out);
    piece.Changed = noteChanges && piece.Out.View() != piece.Stored;
    return;
  }
  std::string_view bytes = piece.In.View();
  piece.Bad = false;
  piece.Breaks = CountLineBreaks(bytes);
  size_t bad = 0;
  bool& nul = piece.BadIsNul;
  nul = false;
  if (piece.Kind == TPieceKind::Ready) {
    // The head was decoded by the reader, which lets NULs pass.
    if (const size_t zero = bytes.find('\0'); zero != std::string_view::npos) {
      piece.Bad = nul = true;
      piece.BadOffset = piece.Offset + zero;
      piece.BreaksBeforeBad = 0;
      piece.Out.Size = 0;
      return;
    }
    piece.Changed = noteChanges && piece.Out.View() != bytes;
    return;
  }
  if (piece.Kind == TPieceKind::Verbatim) {
    piece.Changed = false;
    piece.Out.Size = 0;  // In is written
    if (!CheckUtf8(bytes, units, bad, nul)) {
      piece.Bad = true;
      piece.BadOffset = piece.Offset + bad;
      piece.BreaksBeforeBad = 0;  // the line began before the piece
    }
    return;
  }
  if (measureOnly && keepText) {
    // Checked, and kept in a buffer of its own for the second pass.
    if (!units.Decode(bytes, bad, nul)) {
      piece.Bad = true;
      piece.BadOffset = piece.Offset + bad;
      piece.BreaksBeforeBad = CountLineBreaks(bytes.substr(0, LineStartBefore(bytes, bad)));
      return;
    }
    piece.Kept.reset(new char[std::max<size_t>(bytes.size(), 1)]);
    std::memcpy(piece.Kept.get(), bytes.data(), bytes.size());
    piece.Measure = TIndentMeasure{};
    MeasureIndentation(bytes, piece.Measure);
    return;
  }
  if (!units.Decode(bytes, bad, nul)) {
    // The lines before the bad one are still edited and written.
    piece.Bad = true;
    piece.BadOffset = piece.Offset + bad;
    bytes = bytes.substr(0, LineStartBefore(bytes, bad));
    piece.BreaksBeforeBad = CountLineBreaks(bytes);
    if (!units.Decode(bytes, bad)) throw std::logic_error("internal error: valid UTF-8 refused");
  }
  if (measureOnly) {
    piece.Measure = TIndentMeasure{};
    MeasureIndentation(bytes, piece.Measure);
    return;
  }
  if (measure) EditMeasuredInto(bytes, edit, *measure, piece.AfterNonBlank, piece.Out);
  else EncodeInto(ApplyEditToPiece(units.View(), edit, piece.AfterNonBlank), piece.Out);
  piece.Changed =
      noteChanges && (piece.Out.Size != bytes.size() || std::memcmp(piece.Out.Data(), bytes.data(), bytes.size()) != 0);
}

// Stops the threads on every way out: the workers are joined, the reader is
// joined when it has ended and else left behind in its read.
class TCrew {
public:
  explicit TCrew(std::shared_ptr<TShared> s) : FShared(std::move(s)) {}
  ~TCrew() {
    {
      std::lock_guard<std::mutex> held(FShared->Lock);
      FShared->Stop = true;
      FShared->PieceFilled.notify_all();
      FShared->PlaceFreed.notify_all();
    }
    for (auto& w : Workers) w.join();
    bool readerEnded = false;
    {
      std::lock_guard<std::mutex> held(FShared->Lock);
      readerEnded = FShared->ReadingEnded;
    }
    if (Reader.joinable()) {
      if (readerEnded) Reader.join();
      else Reader.detach();
    }
  }
  std::vector<std::thread> Workers;
  std::thread Reader;

private:
  std::shared_ptr<TShared> FShared;
};

// The edits that look at the whole text go through twice. The first pass
// only checks the text and gives its `Measure` (and, when `Store` is given,
// keeps the text's pieces decoded there), writing nothing; the second edits
// the pieces with that measure: those of `Store`, or else those read again.
struct TTwoPasses {
  TIndentMeasure* Measure = nullptr;
  std::shared_ptr<std::vector<TStoredPiece>> Store;
  bool Second = false;
};

TEditOutcome EditByPieces(const TEdit& edit, const TTextSource& source, const TTextSink& sink, bool noteChanges,
                          TStart start, TFileKind kind, const TTwoPasses& passes = {}) {
  TEditOutcome outcome;
  const size_t workers = WorkerThreads();
  auto s = std::make_shared<TShared>();
  s->Ring.resize(2 * workers + 2);
  s->Edit = edit;
  s->MeasureOnly = passes.Measure && !passes.Second;
  s->KeepText = s->MeasureOnly && passes.Store;
  if (passes.Second) {
    s->Stored = passes.Store;
    s->Measure = *passes.Measure;
    s->Measured = true;
  }
  if (!start.Mark.empty() && !s->MeasureOnly) WriteAll(sink.Fd, start.Mark.data(), start.Mark.size(), sink.Name);

  uint64_t lineStart = start.Offset;  // stream offset where the line being written began
  TCrew crew(s);
  for (size_t w = 0; w < workers; ++w) {
    crew.Workers.emplace_back([s, noteChanges] {
      TUnits units;
      std::unique_lock<std::mutex> held(s->Lock);
      for (;;) {
        s->PieceFilled.wait(held, [&] { return s->Stop || s->Taken < s->Filled || s->ReadingEnded; });
        if (s->Stop || s->Taken == s->Filled) return;
        TPiece& piece = s->At(s->Taken++);
        held.unlock();
        try {
          EditPiece(s->Edit, s->Measured ? &s->Measure : nullptr, s->MeasureOnly, s->KeepText, piece, units,
                    noteChanges);
        } catch (...) {
          piece.Raised = std::current_exception();
        }
        held.lock();
        piece.Done = true;
        if (&piece == &s->At(s->Written)) s->PieceDone.notify_one();
      }
    });
  }
  crew.Reader = std::thread(ReadPieces, s, source.Fd, kind, std::move(start));

  uint64_t lines = 0;  // line breaks written so far
  for (;;) {
    std::unique_lock<std::mutex> held(s->Lock);
    s->PieceDone.wait(held, [&] {
      return (s->Written < s->Filled && s->At(s->Written).Done) || (s->ReadingEnded && s->Written == s->Filled);
    });
    if (s->Written == s->Filled) break;
    TPiece& piece = s->At(s->Written);
    held.unlock();
    if (piece.Raised) std::rethrow_exception(piece.Raised);
    if (s->MeasureOnly) {
      if (!piece.Bad) {
        if (passes.Store)
          passes.Store->push_back(TStoredPiece{std::move(piece.Kept), piece.In.Size, piece.AfterNonBlank});
        MergeIndentMeasure(*passes.Measure, piece.Measure);
      }
    } else if (piece.Kind == TPieceKind::Verbatim && !piece.Bad) {
      WriteAll(sink.Fd, piece.In.Data(), piece.In.Size, sink.Name);
    } else {
      WriteAll(sink.Fd, piece.Out.Data(), piece.Out.Size, sink.Name);
    }
    outcome.Changed = outcome.Changed || piece.Changed;
    const std::string_view in = piece.Stored.empty() ? piece.In.View() : piece.Stored;
    if (piece.Bad) {
      // The column counts from the start of the line, which may lie in an
      // earlier piece.
      const size_t bad = piece.BadOffset - piece.Offset;
      const size_t begun = LineStartBefore(in, bad);
      const uint64_t from = begun > 0 ? piece.Offset + begun : lineStart;
      FailBadByte(source, lines + piece.BreaksBeforeBad + 1, piece.BadOffset - from + 1, piece.BadIsNul);
    }
    lines += piece.Breaks;
    if (const size_t begun = LineStartBefore(in, in.size()); begun > 0 && piece.Stored.empty())
      lineStart = piece.Offset + begun;
    held.lock();
    ++s->Written;
    s->PlaceFreed.notify_one();
  }
  std::lock_guard<std::mutex> held(s->Lock);
  if (s->ReaderRaised) std::rethrow_exception(s->ReaderRaised);
  if (s->ReadErrno) FailRead(source, s->ReadErrorOffset, s->ReadErrno);
  if (s->SizeChanged) FailSizeChanged(source);
  return outcome;
}

// The edits that look at the whole text: a first pass checks and measures
// the text by pieces (so that bad input stops the reading at once); the
// second edits its pieces with the measure of the whole. A file is read
// again for it; other input is kept from the first pass.
TEditOutcome EditWhole(const TEdit& edit, const TTextSource& source, const TTextSink& sink, bool noteChanges,
                       TStart start, TFileKind kind) {
  TIndentMeasure measure;
  std::shared_ptr<std::vector<TStoredPiece>> store;
  if (!kind.Regular) store = std::make_shared<std::vector<TStoredPiece>>();
  std::string mark = start.Mark;
  start.Mark.clear();
  EditByPieces(edit, source, sink, false, std::move(start), kind, TTwoPasses{&measure, store, false});
  TStart again;
  if (kind.Regular) {
    if (!SeekTo(source.Fd, kind.Offset)) FailRead(source, 0, errno);
    again = ReadStart(source);
  }
  again.Mark = std::move(mark);
  return EditByPieces(edit, source, sink, noteChanges, std::move(again), kind, TTwoPasses{&measure, store, true});
}

}  // namespace

TEditOutcome EditText(const TEdit& Edit, const TTextSource& Source, const TTextSink& Sink, bool NoteChanges) {
  const TFileKind kind = KindOfDescriptor(Source.Fd);
  TStart start = ReadStart(Source);
  if (start.Ended && start.Bytes.Size == 0) {
    // Nothing but perhaps a byte order mark: no line at all.
    if (!start.Mark.empty()) WriteAll(Sink.Fd, start.Mark.data(), start.Mark.size(), Sink.Name);
    if (kind.Regular && start.Offset != kind.Size) FailSizeChanged(Source);
    return {};
  }
  if (EditWorksPieceByPiece(Edit)) return EditByPieces(Edit, Source, Sink, NoteChanges, std::move(start), kind);
  return EditWhole(Edit, Source, Sink, NoteChanges, std::move(start), kind);
}

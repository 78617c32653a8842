// The input read and cut into pieces: whole lines as soon as they are there,
// so that a slow writer gets each line back before it writes the next; a
// line too long to hold edited by its head and streamed after it.
#include "PieceReader.h"

#include <algorithm>
#include <cassert>
#include <cerrno>
#include <cstring>
#include <utility>

#include "ByteCopy.h"
#include "LineBreaks.h"
#include "Messages.h"
#include "StringUnit.h"
#include "TextDecoding.h"
#include "TextScan.h"
#include "Translate.h"

namespace {

constexpr size_t kNoHead = static_cast<size_t>(-1);

// The length of a long line's rest in bytes up to and with its break, or 0
// when the break is not in them yet (a CR at the end may begin a CR LF).
size_t LongLineEnd(std::string_view bytes, bool ended) {
  const size_t end = FindLineEnd(bytes, 0);
  if (end < bytes.size()) return end;
  const size_t breakLength = BreakLength(bytes);
  return breakLength == 0 || (breakLength == 1 && bytes.back() == '\r' && !ended) ? 0 : end;
}

}  // namespace

void FailRead(const std::string& Name, uint64_t Offset, int Error) {
  FailIo(Fill(_("cannot read %s at byte %s: %s"), {Name, std::to_string(Offset + 1), ErrorText(Error)}));
}

void FailSizeChanged(const std::string& Name) {
  FailIo(Fill(_("%s changed its size while being read"), {Name}));
}

void FailChanged(const std::string& Name) { FailIo(Fill(_("%s changed while being read"), {Name})); }

void FailChangedSince(int Fd, const TFileKind& Kind, const std::string& Name) {
  const TFileKind now = KindOfDescriptor(Fd);
  if (now.Offset + now.Size != Kind.Offset + Kind.Size) FailSizeChanged(Name);
  FailChanged(Name);
}

TStart ReadStart(int Fd, const std::string& Name) {
  TStart s;
  s.Bytes.Reserve(kPiece + kSlack);
  for (;;) {
    const std::string_view have = s.Bytes.View();
    const bool maybeMark = have.size() < 3 && kUtf8Mark.substr(0, have.size()) == have;
    if (!maybeMark && have.size() >= 2) break;
    if (!maybeMark && have.size() == 1 && have[0] != '\xFF' && have[0] != '\xFE') break;
    const long r = ReadSome(Fd, s.Bytes.Data() + s.Bytes.Size, kPiece - s.Bytes.Size);
    if (r < 0) FailRead(Name, s.Bytes.Size, errno);
    if (r == 0) {
      s.Ended = true;
      break;
    }
    s.Bytes.Size += static_cast<size_t>(r);
  }
  const TByteOrderMark mark = ByteOrderMarkOf(s.Bytes.View());
  if (mark == bomUtf16Le || mark == bomUtf16Be)
    FailBadInput(Fill(_("%s is UTF-16 text (it begins with a UTF-16 byte order mark); convert it to UTF-8 first"),
                      {Name}));
  if (mark == bomUtf8) {
    s.Mark.assign(kUtf8Mark);
    std::memmove(s.Bytes.Data(), s.Bytes.Data() + 3, s.Bytes.Size - 3);
    s.Bytes.Size -= 3;
    s.Offset = 3;
  }
  return s;
}

TPieceReader::TPieceReader(int Fd, TFileKind Kind, const std::string& Name, TStart Start, const TEdit& Edit,
                           bool Heads)
    : FFd(Fd),
      FKind(Kind),
      FName(Name),
      FEdit(Edit),
      FBytes(Edit),
      FPending(std::move(Start.Bytes)),
      FOffset(Start.Offset),
      FRead(Start.Offset + FPending.Size),
      FEnded(Start.Ended),
      FUnseen(FPending.Size > 0),
      FNoteBlankness(EditLooksAtTheLineBefore(Edit)),
      FTryHeadAt(Heads ? kLongLine : kNoHead),
      FSkipsBlankLines(Heads && !EditKeepsIndentation(Edit) && (Edit.Target == tlNonBlank || Edit.Target == tlAfterBlank)) {}

void TPieceReader::ReadMore() {
  // One long line grows the buffer.
  if (FPending.Size + kSlack >= FPending.Capacity()) FPending.Reserve(std::max(kPiece, FPending.Capacity() * 2));
  const long r = ReadSome(FFd, FPending.Data() + FPending.Size, FPending.Capacity() - kSlack - FPending.Size);
  if (r < 0) FailRead(FName, FRead, errno);
  if (FWatch && !SameFileSince(FFd, FKind)) FailChangedSince(FFd, FKind, FName);
  FPending.Size += static_cast<size_t>(r);
  FRead += static_cast<uint64_t>(r);
  FEnded = r == 0;
}

void TPieceReader::Cut(TPiece& piece, size_t cut, bool afterNonBlankNext) {
  // The piece takes the buffer, and the bytes after the cut (a part of a
  // line) go on in the piece's former one.
  assert(cut <= FPending.Size);
  std::swap(piece.In, FPending);
  const size_t rest = piece.In.Size - cut;
  FPending.Reserve(std::max(kPiece, rest) + kSlack);
  std::memcpy(FPending.Data(), piece.In.Data() + cut, rest);
  FPending.Size = rest;
  piece.In.Size = cut;
  piece.Offset = FOffset;
  FOffset += cut;
  FAfterNonBlank = FNoteBlankness && afterNonBlankNext;
}

bool TPieceReader::Next(TPiece& Piece) {
  for (;;) {
    if (!FEnded && !std::exchange(FUnseen, false)) ReadMore();
    if (FEnded && FKind.Regular && FRead != FKind.Size) FailSizeChanged(FName);
    if (FInLongLine) {
      if (NextOfLongLine(Piece)) return true;
      if (FEnded) return false;
      continue;
    }
    if (FEnded) {
      if (FPending.Size == 0) return false;
      Piece.Kind = TLinesPiece{FAfterNonBlank};
      Cut(Piece, FPending.Size, false);
      return true;
    }
    if (const size_t cut = WholeLinesLength(FPending.View()); cut > 0) return NextLines(Piece, cut);
    if (FPending.Size >= FTryHeadAt && TryHead(Piece)) return true;
  }
}

// Up to the break, in pieces of whole characters; then lines again.
bool TPieceReader::NextOfLongLine(TPiece& piece) {
  const std::string_view pending = FPending.View();
  size_t cut = LongLineEnd(pending, FEnded);
  if (cut > 0) FInLongLine = false;
  else if (FEnded) cut = pending.size();
  else if (pending.size() >= kPiece) cut = CompleteUtf8Length(pending);
  if (cut == 0) return false;
  piece.Kind = TRestPiece{};
  Cut(piece, cut, true);
  return true;
}

bool TPieceReader::NextLines(TPiece& piece, size_t cut) {
  const std::string_view pending = FPending.View();
  if (FSkipsBlankLines && pending.size() >= kLongLine) {
    // A long line that held nothing but indentation up to its break: a
    // blank line, which this insertion leaves as it came.
    const size_t first = FindLineEnd(pending, 0);
    const size_t indent = IndentLength(pending);
    // The caller gives whole lines (cut > 0): the first ends with a break,
    // which indentation stops at, so pending[indent] is one of its bytes.
    assert(cut > 0 && indent < first);
    if (first >= kLongLine && IsBreakUnit(pending[indent])) {
      FTryHeadAt = kLongLine;
      piece.Kind = TRestPiece{};
      Cut(piece, first, false);
      return true;
    }
  }
  if (FTryHeadAt != kNoHead) FTryHeadAt = kLongLine;
  piece.Kind = TLinesPiece{FAfterNonBlank};
  Cut(piece, cut, !LastLineIsBlank(pending.substr(0, cut)));
  return true;
}

bool TPieceReader::TryHead(TPiece& piece) {
  const std::string_view pending = FPending.View();
  size_t h = CompleteUtf8Length(pending);
  if (h > 0 && pending[h - 1] == '\r') --h;
  const std::string_view head = pending.substr(0, h);
  if (!IsCleanUtf8(head)) {
    // The head holds a bad byte: as lines, which report it.
    piece.Kind = TLinesPiece{FAfterNonBlank};
    Cut(piece, h, false);
    return true;
  }
  if (THeadPiece kind; FBytes.ApplyToLineHead(head, FAfterNonBlank, kind.Edited)) {
    FInLongLine = true;
    FTryHeadAt = kLongLine;
    piece.Kind = std::move(kind);
    Cut(piece, h, true);  // a long line's head proved it non-blank
    return true;
  }
  if (const size_t indent = EditKeepsIndentation(FEdit) ? IndentLength(pending) : 0; indent > 0) {
    // A deletion never touches the indentation: a long run of it goes out
    // as it came, and what follows it decides the line.
    FTryHeadAt = kLongLine;
    piece.Kind = TRestPiece{};
    Cut(piece, indent, true);
    return true;
  }
  FTryHeadAt = pending.size() * 2;  // an indentation or a run of symbols as long: look again later
  return false;
}

bool TStoredPieces::Next(TPiece& Piece) {
  if (FNext == FPieces->size()) return FThen->Next(Piece);
  TStoredPiece& stored = (*FPieces)[FNext++];
  Piece.In = std::move(stored.Bytes);
  Piece.Offset = stored.Offset;
  Piece.Kind = TLinesPiece{.AfterNonBlank = stored.AfterNonBlank, .Checked = true};
  return true;
}

// Reading the input and cutting it into pieces of whole lines, or, for a
// line too long to hold, its edited head and the rest as it streams by.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ByteEdits.h"
#include "EditUnit.h"
#include "Files.h"
#include "Pieces.h"

constexpr size_t kPiece = size_t{128} << 10;  // small enough to stay in the cache
// A line longer than this is edited by its head, and its rest copied as it
// streams by, so that memory stays bounded whatever the line's length.
constexpr size_t kLongLine = size_t{4} << 20;

// Name: the input as messages name it, a quoted file name or "standard input";
// Offset: where the failed read began (shown counted from 1).
[[noreturn]] void FailRead(const std::string& Name, uint64_t Offset, int Error);
[[noreturn]] void FailSizeChanged(const std::string& Name);
[[noreturn]] void FailChanged(const std::string& Name);
// The file of Fd is no longer as Kind found it: its size or else its times.
[[noreturn]] void FailChangedSince(int Fd, const TFileKind& Kind, const std::string& Name);

// What the reader has seen before the pieces: the bytes read so far (after
// a UTF-8 byte order mark) and how many were read.
struct TStart {
  TByteBuffer Bytes;
  std::string Mark;     // the byte order mark, written first
  uint64_t Offset = 0;  // stream offset of Bytes[0]
  bool Ended = false;   // the input ended already
};
// Reads until the input's first bytes tell whether it begins with a byte
// order mark. Refuses UTF-16.
TStart ReadStart(int Fd, const std::string& Name);

class TPieceReader : public TPieceSource {
public:
  // Heads tells whether a long line may be edited by its head (not for the
  // edits that look at the whole text).
  TPieceReader(int Fd, TFileKind Kind, const std::string& Name, TStart Start, const TEdit& Edit, bool Heads);
  bool Next(TPiece& Piece) override;
  bool MayWaitLong() const override { return !FKind.Regular; }
  // After each read, the file must still be the one of Kind (SameFileSince),
  // so that every piece handed over was read from it unchanged.
  void WatchForChanges() { FWatch = true; }

private:
  void ReadMore();
  // Hands the pending bytes up to cut over as Piece; the rest stays.
  void Cut(TPiece& piece, size_t cut, bool afterNonBlankNext);
  bool NextOfLongLine(TPiece& piece);
  bool NextLines(TPiece& piece, size_t cut);
  bool TryHead(TPiece& piece);

  int FFd;
  TFileKind FKind;
  std::string FName;
  TEdit FEdit;
  TByteEdit FBytes;             // the edit of long lines' heads
  TByteBuffer FPending;         // bytes read and not handed over yet
  uint64_t FOffset = 0;         // stream offset of FPending[0]
  uint64_t FRead = 0;           // bytes read from the start
  bool FEnded = false;
  bool FUnseen = false;         // FPending may hold whole lines already
  bool FInLongLine = false;     // FPending holds the rest of a long line
  bool FAfterNonBlank = false;  // for the next piece
  bool FNoteBlankness = false;  // only the first lines of paragraphs need it
  size_t FTryHeadAt;            // how much of a line to gather before trying its head
  bool FSkipsBlankLines = false;
  bool FWatch = false;
};

// The pieces of a text a first pass read, checked and measured, handed out
// again in order (and freed as they go), then those of Then: the source
// that the first pass stopped reading, which ends at once if it had ended.
struct TStoredPiece {
  TByteBuffer Bytes;
  uint64_t Offset = 0;
  bool AfterNonBlank = false;
};
class TStoredPieces : public TPieceSource {
public:
  explicit TStoredPieces(std::shared_ptr<std::vector<TStoredPiece>> Pieces, std::shared_ptr<TPieceSource> Then)
      : FPieces(std::move(Pieces)), FThen(std::move(Then)) {}
  bool Next(TPiece& Piece) override;
  bool MayWaitLong() const override { return FThen->MayWaitLong(); }

private:
  std::shared_ptr<std::vector<TStoredPiece>> FPieces;
  std::shared_ptr<TPieceSource> FThen;
  size_t FNext = 0;
};

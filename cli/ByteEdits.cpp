// Line-head edits on UTF-8 bytes. Both the text and the symbols are valid
// UTF-8, so a symbol's bytes match at a character boundary exactly where
// its UTF-16 units match in the decoded text, and the indentation
// characters (space, tab, E3 80 80) are found byte by byte.
#include "ByteEdits.h"

#include <cstring>

#include "StringUnit.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"

namespace {

// Room kept past the end of an output for the copies in blocks.
constexpr size_t kSlack = 32;

// Copies n bytes in blocks of 16, writing up to 15 bytes past d + n; reads
// past s + n only where the source still has bytes (up to sEnd).
inline void CopyInBlocks(char* d, const char* s, size_t n, const char* sEnd) noexcept {
  if (static_cast<size_t>(sEnd - s) >= n + 16) {
    for (size_t i = 0; i < n; i += 16) std::memcpy(d + i, s + i, 16);
  } else {
    std::memcpy(d, s, n);
  }
}

// Length of the break that ends the line [start, end).
inline size_t BreakBefore(const char* p, size_t start, size_t end) noexcept {
  if (end == start) return 0;
  if (p[end - 1] == '\n') return end - start >= 2 && p[end - 2] == '\r' ? 2 : 1;
  return p[end - 1] == '\r' ? 1 : 0;
}

// Nothing but indentation before the break.
inline bool IsBlank(std::string_view line) noexcept {
  const size_t indent = IndentLength(line);
  const std::string_view rest = line.substr(indent);
  return rest.empty() || rest == "\n" || rest == "\r" || rest == "\r\n";
}

// Bytes at `at` (with `available` of them) begin with s: compared byte by
// byte, as symbols are short.
inline bool BeginsWith(const char* at, size_t available, const std::string& s) noexcept {
  if (s.size() > available) return false;
  for (size_t k = 0; k < s.size(); ++k)
    if (at[k] != s[k]) return false;
  return true;
}

thread_local TLineEnds tEnds;

}  // namespace

TByteEdit::TByteEdit(const TEdit& Edit) : FKind(Edit.Kind), FTarget(Edit.Target) {
  if (!EditWorksPieceByPiece(Edit)) return;
  if (Edit.Kind == ekInsert) {
    const auto symbol = Utf16ToUtf8(Edit.Symbol);
    if (!symbol) return;
    FSymbol = *symbol;
    FUsable = true;
    return;
  }
  // The symbols as the engine takes them from their entries; those that
  // are empty never match.
  std::vector<std::u16string> entries = Edit.Kind == ekDeleteGiven ? std::vector{Edit.Symbol} : Edit.Symbols;
  for (const std::u16string& entry : entries) {
    const std::u16string full = SymbolOfEntry(entry);
    const auto bytes = Utf16ToUtf8(full);
    const auto trimmed = Utf16ToUtf8(TrimView(full));
    if (!bytes || !trimmed) return;
    if (bytes->empty()) continue;
    FSymbols.push_back(TSymbol{*bytes, *trimmed});
    FFirstBytes[static_cast<unsigned char>((*bytes)[0])] = true;
    if (!trimmed->empty()) FFirstBytes[static_cast<unsigned char>((*trimmed)[0])] = true;
  }
  FRepeat = Edit.Kind == ekDeleteAll;
  FUsable = true;
}

TByteEditResult TByteEdit::Apply(std::string_view Piece, bool AfterNonBlankLine, TByteBuffer& Out) const {
  if (FKind == ekInsert) return Insert(Piece, AfterNonBlankLine, Out);
  return Delete(Piece, Out);
}

TByteEditResult TByteEdit::Insert(std::string_view piece, bool afterNonBlank, TByteBuffer& out) const {
  TLineEnds& ends = tEnds;
  const uint64_t breaks = ends.Collect(piece);
  const size_t symbolLength = FSymbol.size();
  // The symbol padded, so that a short one is copied in one block.
  char symbol[16] = {};
  if (symbolLength <= sizeof symbol) std::memcpy(symbol, FSymbol.data(), symbolLength);
  out.Reserve(piece.size() + ends.size() * symbolLength + kSlack);
  const char* const p = piece.data();
  const char* const pEnd = p + piece.size();
  char* d = out.Data();
  bool afterBlank = !afterNonBlank;
  size_t start = 0;
  for (const size_t end : ends) {
    bool chosen = true;
    if (FTarget != tlAll) {
      const bool blank = IsBlank(piece.substr(start, end - start));
      chosen = !blank && (FTarget == tlNonBlank || afterBlank);
      afterBlank = blank;
    }
    if (chosen) {
      if (symbolLength <= sizeof symbol) std::memcpy(d, symbol, sizeof symbol);
      else std::memcpy(d, FSymbol.data(), symbolLength);
      d += symbolLength;
    }
    CopyInBlocks(d, p + start, end - start, pEnd);
    d += end - start;
    start = end;
  }
  out.Size = static_cast<size_t>(d - out.Data());
  return {false, breaks};
}

TByteEditResult TByteEdit::Delete(std::string_view piece, TByteBuffer& out) const {
  TLineEnds& ends = tEnds;
  const uint64_t breaks = ends.Collect(piece);
  const char* const p = piece.data();
  size_t kept = 0;  // start of the bytes not yet appended
  char* d = nullptr;
  auto keep = [&](size_t upTo) {
    if (!d) {
      out.Reserve(piece.size() + kSlack);
      d = out.Data();
    }
    std::memcpy(d, p + kept, upTo - kept);
    d += upTo - kept;
  };
  size_t start = 0;
  for (const size_t end : ends) {
    // A removal stays between the indentation and the break.
    const size_t contentEnd = end - BreakBefore(p, start, end);
    size_t cursor = start + IndentLength(piece.substr(start, contentEnd - start));
    start = end;
    if (cursor == contentEnd || !FFirstBytes[static_cast<unsigned char>(p[cursor])]) continue;
    for (bool removed = true; removed;) {
      removed = false;
      for (const TSymbol& s : FSymbols) {
        size_t length = 0;
        if (BeginsWith(p + cursor, contentEnd - cursor, s.Full)) length = s.Full.size();
        else if (!s.Trimmed.empty() && BeginsWith(p + cursor, contentEnd - cursor, s.Trimmed)) length = s.Trimmed.size();
        if (length == 0) continue;
        keep(cursor);
        cursor += length;
        kept = cursor;
        cursor += IndentLength(std::string_view(p + cursor, contentEnd - cursor));
        removed = true;
      }
      if (!FRepeat) break;
    }
  }
  if (!d) return {true, breaks};
  keep(piece.size());
  out.Size = static_cast<size_t>(d - out.Data());
  return {false, breaks};
}

// Deleting head symbols: one given symbol, one pass over a list, passes until nothing changes.
#include "HeadSymbolDeletion.h"

#include <algorithm>
#include <vector>

#include "LineBreaks.h"
#include "StringUnit.h"
#include "SymbolEntryUnit.h"
#include "TextScan.h"

// Lines are walked as views and the result is appended into one string sized
// for the whole text (deleting only ever shortens it).
//
// A removal always happens right after the line's indentation, and the
// indentation itself is never changed. So a line under deletion is its
// original characters with some spans cut out: the kept spans are appended
// as soon as a cut ends them, and the cursor moves past the removed symbol
// and past any indentation characters that follow it.

namespace {

// An entry's symbol and, inside it, its trimmed form.
struct TSymbol {
  std::u16string Full;
  size_t TrimOffset = 0;
  size_t TrimLength = 0;
};

TSymbol MakeSymbol(std::u16string_view entry) {
  TSymbol s;
  s.Full = SymbolOfEntry(entry);
  const std::u16string_view full = s.Full;
  const std::u16string_view trimmed = TrimView(full);
  s.TrimOffset = trimmed.empty() ? 0 : static_cast<size_t>(trimmed.data() - full.data());
  s.TrimLength = trimmed.size();
  return s;
}

// Entries without a symbol can never match and are left out.
void AddSymbol(std::vector<TSymbol>& symbols, std::u16string_view entry) {
  TSymbol s = MakeSymbol(entry);
  if (!s.Full.empty()) symbols.push_back(std::move(s));
}

std::vector<TSymbol> MakeSymbols(const TCommonStringRecordList& entries) {
  std::vector<TSymbol> symbols;
  symbols.reserve(static_cast<size_t>(entries.Count()));
  for (int32_t i = 0; i < entries.Count(); ++i) AddSymbol(symbols, entries.Item(i));
  return symbols;
}

inline bool SameAt(const char16_t* at, size_t available, const char16_t* what, size_t length) noexcept {
  return length != 0 && length <= available && std::equal(what, what + length, at);
}

// Length of the symbol (or its trimmed form) standing at `at`, else 0.
inline size_t MatchLength(const char16_t* at, size_t available, const TSymbol& s) noexcept {
  if (SameAt(at, available, s.Full.data(), s.Full.size())) return s.Full.size();
  if (SameAt(at, available, s.Full.data() + s.TrimOffset, s.TrimLength)) return s.TrimLength;
  return 0;
}

inline size_t SkipIndent(std::u16string_view line, size_t i, size_t end) noexcept {
  while (i < end && IsIndentChar(line[i])) ++i;
  return i;
}

// Appends `line` with the symbols removed: one chance per symbol in order, or,
// with `repeat`, such passes until one removes nothing.
void DeleteInLine(std::u16string_view line, const TSymbol* symbols, size_t count, bool repeat, std::u16string& out) {
  // A removal stays inside the line's content: the break is never touched.
  const size_t contentEnd = line.size() - BreakLength(line);
  size_t kept = 0;  // start of the span not yet appended
  size_t cursor = SkipIndent(line, 0, contentEnd);
  for (;;) {
    bool removed = false;
    for (size_t k = 0; k < count; ++k) {
      const size_t length = MatchLength(line.data() + cursor, contentEnd - cursor, symbols[k]);
      if (length == 0) continue;
      out.append(line.substr(kept, cursor - kept));
      cursor += length;
      kept = cursor;
      cursor = SkipIndent(line, cursor, contentEnd);
      removed = true;
    }
    if (!repeat || !removed) break;
  }
  out.append(line.substr(kept));
}

std::u16string DeleteInText(std::u16string_view text, const std::vector<TSymbol>& symbols, bool repeat) {
  std::u16string result;
  if (symbols.empty()) {
    result.assign(text);
    return result;
  }
  result.reserve(text.size());
  for (size_t start = 0; start < text.size();) {
    const size_t end = FindLineEnd(text, start);
    DeleteInLine(text.substr(start, end - start), symbols.data(), symbols.size(), repeat, result);
    start = end;
  }
  return result;
}

}  // namespace

std::u16string DeleteHeadSymbolFromLine(std::u16string_view Line, std::u16string_view Entry) {
  const TSymbol symbol = MakeSymbol(Entry);
  std::u16string result;
  result.reserve(Line.size());
  DeleteInLine(Line, &symbol, symbol.Full.empty() ? 0 : 1, false, result);
  return result;
}

std::u16string DeleteSpecifiedHeadSymbol(std::u16string_view Text, std::u16string_view Entry) {
  std::vector<TSymbol> symbols;
  AddSymbol(symbols, Entry);
  return DeleteInText(Text, symbols, false);
}

std::u16string DeleteHeadSymbolsOnce(std::u16string_view Text, const TCommonStringRecordList& Entries) {
  return DeleteInText(Text, MakeSymbols(Entries), false);
}

std::u16string DeleteHeadSymbolsAll(std::u16string_view Text, const TCommonStringRecordList& Entries) {
  // Lines never merge or split under deletion, so running each line to its
  // own fixed point gives what whole-text passes until no change would give.
  return DeleteInText(Text, MakeSymbols(Entries), true);
}

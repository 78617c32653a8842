// The string-owning list, its splitting and its Text of lines that keep their breaks.
#include "StringRecordList.h"

#include <memory>

#include "LineBreaks.h"

const TStringDynArray& LineBreakDelimiters() {
  static const TStringDynArray delimiters = {u"\r\n", u"\r", u"\n"};
  return delimiters;
}

TRecordList::~TRecordList() { Clear(); }

std::u16string* TRecordList::Cell(int32_t Index) const { return static_cast<std::u16string*>(FList.Items(Index)); }

const std::u16string& TRecordList::Item(int32_t Index) const { return *Cell(Index); }

int32_t TRecordList::Add(std::u16string Item) {
  auto cell = std::make_unique<std::u16string>(std::move(Item));
  int32_t index = FList.Add(cell.get());
  cell.release();
  return index;
}

void TRecordList::Insert(int32_t Index, std::u16string Item) {
  auto cell = std::make_unique<std::u16string>(std::move(Item));
  FList.Insert(Index, cell.get());  // a bad index raises before anything is added
  cell.release();
}

void TRecordList::Delete(int32_t Index) {
  std::u16string* cell = Cell(Index);
  FList.Delete(Index);
  delete cell;
}

void TRecordList::Clear() {
  for (int32_t i = 0; i < FList.Count(); ++i) delete static_cast<std::u16string*>(FList.List()[i]);
  FList.SetCount(0);  // the cells are gone; drop the slots without touching them
  FList.Clear();
}

void TRecordList::Exchange(int32_t Index1, int32_t Index2) { FList.Exchange(Index1, Index2); }

void TRecordList::Move(int32_t CurIndex, int32_t NewIndex) { FList.Move(CurIndex, NewIndex); }

int32_t TRecordList::IndexOf(std::u16string_view Value) const {
  for (int32_t i = 0; i < FList.Count(); ++i)
    if (*static_cast<std::u16string*>(FList.List()[i]) == Value) return i;
  return -1;
}

void TRecordList::Assign(const TRecordList* Source) {
  if (!Source || Source == this) return;
  Clear();
  for (int32_t i = 0; i < Source->Count(); ++i) Add(Source->Item(i));
}

void TRecordList::SetCount(int32_t Value) {
  if (Value < 0) FList.Error(TListMessage::CountError, Value);
  if (Value == Count()) return;
  if (Value < Count()) {
    for (int32_t i = Count() - 1; i >= Value; --i) Delete(i);
  } else {
    while (Count() < Value) Add(std::u16string());
  }
}

void TRecordList::SetItems(int32_t Index, std::u16string Value) { *Cell(Index) = std::move(Value); }

void TRecordList::Reserve(int32_t Capacity) {
  if (Capacity > FList.Capacity()) FList.SetCapacity(Capacity);
}

std::u16string TCommonStringRecordList::Text() const {
  size_t total = 0;
  for (int32_t i = 0; i < Count(); ++i) total += Item(i).size();
  std::u16string result;
  result.resize(total);
  char16_t* d = result.data();
  for (int32_t i = 0; i < Count(); ++i) {
    const std::u16string& s = Item(i);
    d = std::char_traits<char16_t>::copy(d, s.data(), s.size()) + s.size();
  }
  return result;
}

void TCommonStringRecordList::SetText(std::u16string_view Value) {
  // Same pieces as Split(Value, LineBreakDelimiters, dsAttachDelimiter), cut
  // with a direct scan for speed on large texts.
  Clear();
  size_t lines = 0;
  ForEachLine(Value, [&](std::u16string_view) { ++lines; });
  if (lines > static_cast<size_t>(MaxListSize)) Reserve(MaxListSize + 1);  // raises the capacity error
  Reserve(static_cast<int32_t>(lines));
  ForEachLine(Value, [&](std::u16string_view line) { Add(std::u16string(line)); });
}

void TCommonStringRecordList::SetDelimitedText(std::u16string_view Value, const TStringDynArray& Delimiters) {
  Split(Value, Delimiters, dsKeepEmpty);
}

std::u16string TCommonStringRecordList::GetDelimitedText(std::u16string_view Delimiter) const {
  std::u16string result;
  for (int32_t i = 0; i < Count(); ++i) {
    if (i > 0) result += Delimiter;
    result += Item(i);
  }
  return result;
}

void TCommonStringRecordList::Split(std::u16string_view S, const TStringDynArray& Delimiters, TDelimitStyle Style) {
  Clear();
  const size_t L = S.size();
  // 0-based: the current piece is S[start, pieceEnd).
  size_t pos = 0, start = 0, pieceEnd = 0;
  auto piece = [&]() { return pieceEnd > start ? S.substr(start, pieceEnd - start) : std::u16string_view(); };
  while (pos < L) {
    const std::u16string* match = nullptr;
    for (const auto& d : Delimiters) {
      if (!d.empty() && d.size() <= L - pos && S.compare(pos, d.size(), d) == 0) {
        match = &d;
        break;
      }
    }
    if (!match) {
      ++pos;
      pieceEnd = pos;
      continue;
    }
    if (Style == dsAttachDelimiter) {
      pieceEnd = pos + match->size();
      Add(std::u16string(piece()));
      pos = pieceEnd;
      start = pos;
      continue;
    }
    pieceEnd = pos;
    std::u16string_view p = piece();
    bool keepEmpty = Style == dsKeepEmpty || Style == dsDelimiterKeepEmpty;
    if (keepEmpty || !p.empty()) Add(std::u16string(p));
    if (Style == dsDelimiterKeepEmpty || Style == dsDelimiterSkipEmpty) Add(*match);
    pos += match->size();
    start = pos;
  }
  std::u16string_view last = piece();
  if (Style == dsKeepEmpty || Style == dsDelimiterKeepEmpty || !last.empty()) Add(std::u16string(last));
}

// Ordered string lists that own their strings. TCommonStringRecordList adds
// conversion between the whole list and one text.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "ListClone.h"

enum TDelimitStyle : uint8_t {
  dsAttachDelimiter = 0,
  dsKeepEmpty = 1,
  dsSkipEmpty = 2,
  dsDelimiterKeepEmpty = 3,
  dsDelimiterSkipEmpty = 4,
};

using TStringDynArray = std::vector<std::u16string>;

// CR LF, CR, LF, in this order. Made on first use: loading the library
// runs nothing.
const TStringDynArray& LineBreakDelimiters();

class TRecordList {
public:
  TRecordList() = default;
  TRecordList(const TRecordList&) = delete;
  TRecordList& operator=(const TRecordList&) = delete;
  virtual ~TRecordList();

  int32_t Add(std::u16string Item);
  void Insert(int32_t Index, std::u16string Item);
  void Delete(int32_t Index);
  void Clear();
  void Exchange(int32_t Index1, int32_t Index2);
  void Move(int32_t CurIndex, int32_t NewIndex);
  int32_t IndexOf(std::u16string_view Value) const;
  virtual void Assign(const TRecordList* Source);

  int32_t Count() const { return FList.Count(); }
  void SetCount(int32_t Value);
  // Items read returns a copy; Item gives read access without copying.
  std::u16string Items(int32_t Index) const { return Item(Index); }
  const std::u16string& Item(int32_t Index) const;
  void SetItems(int32_t Index, std::u16string Value);

protected:
  std::u16string* Cell(int32_t Index) const;
  void Reserve(int32_t Capacity);

private:
  TListClone FList;  // slots hold owned std::u16string cells, never nil
};

class TCommonStringRecordList : public TRecordList {
public:
  // All items joined with nothing between them.
  std::u16string Text() const;
  // One item per line, each keeping its own break.
  void SetText(std::u16string_view Value);
  void SetDelimitedText(std::u16string_view Value, const TStringDynArray& Delimiters);
  std::u16string GetDelimitedText(std::u16string_view Delimiter) const;

protected:
  void Split(std::u16string_view S, const TStringDynArray& Delimiters, TDelimitStyle Style);
};

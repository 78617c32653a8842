// Cutting a text into pieces at any of several delimiter strings.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "StringRecordList.h"

enum TSplitFlag : uint8_t { sfWithDelimiters = 0, sfWithEmpty = 1 };

// A set of split flags in one byte: bit 0 sfWithDelimiters, bit 1 sfWithEmpty.
struct TSplitFlags {
  uint8_t Bits = 0;
  constexpr TSplitFlags() = default;
  constexpr explicit TSplitFlags(uint8_t bits) : Bits(bits) {}
  constexpr TSplitFlags(std::initializer_list<TSplitFlag> flags) {
    for (TSplitFlag f : flags) Bits = static_cast<uint8_t>(Bits | (1u << f));
  }
  constexpr bool Has(TSplitFlag f) const { return (Bits >> f) & 1u; }
};

inline constexpr TSplitFlags DefaultSplitFlags{};

// Gives the splitter module the list's protected Split.
class TStringRecordListAccess : public TCommonStringRecordList {
public:
  using TCommonStringRecordList::Split;
};

TDelimitStyle SplitFlagsToDelimitStyle(TSplitFlags Flags);
int32_t SplitCount(std::u16string_view S, const TStringDynArray& Delimiters, TSplitFlags Flags = DefaultSplitFlags);
std::u16string SplitItem(std::u16string_view S, const TStringDynArray& Delimiters, int32_t Index,
                         TSplitFlags Flags = DefaultSplitFlags);

class TStringSplitter {
public:
  TStringSplitter(std::u16string_view Sentence, const TStringDynArray& Delimiters, TSplitFlags Flags = DefaultSplitFlags);
  TStringSplitter(const TStringSplitter&) = delete;
  TStringSplitter& operator=(const TStringSplitter&) = delete;
  virtual ~TStringSplitter() = default;

  int32_t Count() const { return FWords->Count(); }
  const std::u16string& Sentence() const { return FSentence; }
  const TStringDynArray& Delimiters() const { return FDelimiters; }
  // The empty string outside 0 .. Count - 1.
  std::u16string Words(int32_t Index) const;
  // Locale-aware comparison (CompareStringW on Windows).
  int32_t IndexOf(std::u16string_view Word, bool IgnoreCase) const;

private:
  std::unique_ptr<TStringRecordListAccess> FWords;
  std::u16string FSentence;
  TStringDynArray FDelimiters;
};

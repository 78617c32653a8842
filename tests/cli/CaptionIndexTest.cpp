// The caption index of the JSON listing against the entry search that
// --entry makes, over random settings files of colliding captions.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "EditUnit.h"
#include "SettingsFile.h"
#include "StringRecordList.h"
#include "SymbolEntryUnit.h"
#include "Utf.h"

namespace {

// Short captions from few pieces, so that stored, escaped and shown forms
// of different entries often meet: access keys, tabs, blanks, backslashes.
std::u16string RandomCaption(std::mt19937& random) {
  static const char16_t* const kPieces[] = {u"a", u"b", u"&", u"&&", u"(&A)", u"\\t", u"\\\\", u" ", u"\\tx", u"\u5F15",
                                            u"\x1B", u"1"};
  std::u16string caption;
  const int n = std::uniform_int_distribution<int>(1, 4)(random);
  for (int i = 0; i < n; ++i)
    caption += kPieces[std::uniform_int_distribution<size_t>(0, std::size(kPieces) - 1)(random)];
  return caption;
}

// The index's answer as the search gives it: the one entry, or -1.
int32_t Searched(const TCommonStringRecordList& entries, const std::string& choice) {
  const std::vector<int32_t> found = EntriesOfCaption(entries, choice);
  return found.size() == 1 ? found.front() : -1;
}

TEST(FilterSettings, CaptionIndexFindsWhatTheSearchFinds) {
  std::mt19937 random(31);
  for (int round = 0; round < 300; ++round) {
    std::u16string text;
    const int count = std::uniform_int_distribution<int>(1, 12)(random);
    for (int i = 0; i < count; ++i) text += u"s" + std::u16string(1, char16_t(u'A' + i)) + u"\t" + RandomCaption(random) + u"\n";
    TCommonStringRecordList entries;
    SetValidEntries(entries, text);
    const TCaptionIndex index(entries);
    // Every form of every entry, and random texts.
    std::vector<std::string> choices;
    for (int32_t i = 0; i < entries.Count(); ++i) {
      const std::u16string caption = CaptionOfEntry(entries.Item(i));
      choices.push_back(Utf16ToUtf8Lossy(caption));
      choices.push_back(Utf16ToUtf8Lossy(MenuCaption(caption, false)));
      choices.push_back(Utf16ToUtf8Lossy(MenuCaption(caption, true)));
      choices.push_back(Utf16ToUtf8Lossy(RandomCaption(random)));
    }
    const std::string listing = FormatEntries(entries, false);
    for (size_t at = 0; at < listing.size();) {
      const size_t tab = listing.find('\t', at), end = listing.find('\n', tab);
      choices.push_back(listing.substr(tab + 1, end - tab - 1));  // as entries prints it
      at = end + 1;
    }
    for (const std::string& choice : choices)
      ASSERT_EQ(index.Alone(choice), Searched(entries, choice)) << Utf16ToUtf8Lossy(text) << "choice: " << choice;
  }
}

}  // namespace

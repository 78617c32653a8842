// The choice of the user's language and the catalogue built into the filter,
// against po/ja.po read here.
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Translate.h"

extern const unsigned char kJapaneseCatalogue[];
extern const size_t kJapaneseCatalogueSize;

namespace {

// msgid to msgstr of a PO file: quoted strings with \n, \t, \" and \\.
std::map<std::string, std::string> ReadPo(const std::string& path) {
  std::map<std::string, std::string> entries;
  std::ifstream in(path);
  std::string id, str, *current = nullptr;
  const auto unquote = [](const std::string& line) {
    std::string out;
    for (size_t i = line.find('"') + 1; i + 1 < line.size(); ++i) {
      if (line[i] != '\\') {
        out += line[i];
        continue;
      }
      const char c = line[++i];
      out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
    }
    return out;
  };
  const auto flush = [&] {
    if (!id.empty() && !str.empty()) entries[id] = str;
    id.clear();
    str.clear();
  };
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("msgid ", 0) == 0) {
      flush();
      current = &id;
    } else if (line.rfind("msgstr ", 0) == 0) {
      current = &str;
    } else if (line.empty() || line[0] != '"') {
      continue;
    }
    *current += unquote(line);
  }
  flush();
  return entries;
}

TEST(Catalogue, BuiltInHoldsEveryTranslationOfThePo) {
  const auto po = ReadPo(MARQUILL_SOURCE_DIR "/po/ja.po");
  ASSERT_GT(po.size(), 100u);
  for (const auto& [id, str] : po) {
    const auto found = LookUpCatalogue(kJapaneseCatalogue, kJapaneseCatalogueSize, id);
    ASSERT_TRUE(found) << id;
    EXPECT_EQ(*found, str);
    // A text one byte longer or shorter is another text.
    for (const std::string& other : {id + " ", id.substr(0, id.size() - 1), "\x01" + id})
      EXPECT_EQ(LookUpCatalogue(kJapaneseCatalogue, kJapaneseCatalogueSize, other).has_value(), po.count(other) > 0)
          << other;
  }
}

TEST(Catalogue, DamagedBytesFindNothingWrong) {
  const std::vector<unsigned char> good(kJapaneseCatalogue, kJapaneseCatalogue + kJapaneseCatalogueSize);
  const auto po = ReadPo(MARQUILL_SOURCE_DIR "/po/ja.po");
  std::mt19937 random(32);
  for (int round = 0; round < 2000; ++round) {
    std::vector<unsigned char> bad = good;
    if (round % 3 == 0) bad.resize(random() % bad.size());
    for (int flips = 1 + round % 4; flips > 0 && !bad.empty(); --flips)
      bad[random() % std::min<size_t>(bad.size(), round % 2 ? 64 : bad.size())] = static_cast<unsigned char>(random());
    auto entry = po.begin();
    std::advance(entry, random() % po.size());
    // Read within the bytes (the sanitizer watches) and give a text or nothing.
    const auto found = LookUpCatalogue(bad.data(), bad.size(), entry->first);
    if (found) EXPECT_LE(found->size(), bad.size());
  }
  EXPECT_FALSE(LookUpCatalogue(good.data(), 27, "out of memory"));
}

TEST(Catalogue, LanguageAsGettextChoosesIt) {
  struct TRow {
    const char *language, *all, *messages, *lang;
    bool ui, japanese;
  };
  const TRow rows[] = {
      {nullptr, nullptr, nullptr, nullptr, false, false},
      {nullptr, nullptr, nullptr, nullptr, true, true},  // Windows in Japanese, nothing set
      {nullptr, nullptr, nullptr, "ja_JP.UTF-8", false, true},
      {nullptr, nullptr, nullptr, "ja", false, true},
      {nullptr, nullptr, nullptr, "C.UTF-8", true, false},  // a set variable wins over the interface
      {nullptr, "C", nullptr, "ja_JP.UTF-8", false, false},
      {nullptr, "", "ja_JP.eucJP", "C", false, true},
      {nullptr, "en_US.UTF-8", "ja_JP.UTF-8", nullptr, false, false},
      {"ja", nullptr, nullptr, "en_US.UTF-8", false, true},
      {"en", nullptr, nullptr, "ja_JP.UTF-8", false, false},  // an editor's English user
      {"ja", "C", nullptr, nullptr, false, false},            // ignored under C, as gettext does
      {"ja", "POSIX", nullptr, nullptr, true, false},
      {"ja", nullptr, nullptr, nullptr, false, true},
      {"de:ja_JP", nullptr, nullptr, "C.UTF-8", false, true},
      {"de:fr", nullptr, nullptr, "ja_JP.UTF-8", true, false},
      {"", nullptr, nullptr, "ja_JP.UTF-8", false, true},
      {"jam", nullptr, nullptr, nullptr, false, false},
  };
  for (const TRow& r : rows)
    EXPECT_EQ(PrefersJapanese(r.language, r.all, r.messages, r.lang, r.ui), r.japanese)
        << (r.language ? r.language : "-") << " " << (r.all ? r.all : "-") << " " << (r.messages ? r.messages : "-")
        << " " << (r.lang ? r.lang : "-") << " " << r.ui;
}

}  // namespace

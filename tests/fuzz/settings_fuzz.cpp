// Fuzz target for settings files as the filter reads them: the bytes decoded
// by their mark or the chosen encoding, the valid entries, their listing
// (which must give every symbol and caption back when read by its own
// rules), and the entry that --entry picks by number or caption, each against
// a plain model written here. Every failure must be a clean bad-input error.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Cp932Decoder.h"
#include "FuzzKit.h"
#include "Messages.h"
#include "SettingsFile.h"
#include "SymbolEntryUnit.h"
#include "TextDecoding.h"

namespace {

struct TEntryRef {
  u16 Symbol, Caption;
};

// What loading the file must give: the entries, or a failure whose message
// holds Named (the byte of a decoding fault, counted from 1), when it is not empty.
struct TLoadRef {
  std::vector<TEntryRef> Entries;
  bool Fails = false;
  std::string Named;
};

TLoadRef LoadRef(std::string_view bytes, TSettingsEncoding encoding) {
  TLoadRef r;
  u16 text;
  size_t bad = 0;
  std::optional<size_t> badUtf8;
  if (encoding != TSettingsEncoding::Cp932) badUtf8 = Utf8Ref(bytes, text);
  if (ByteOrderMarkOf(bytes) != bomNone) {
    text = DecodeMarkedText(bytes, nullptr);
  } else if (encoding == TSettingsEncoding::Utf8 && badUtf8) {
    r.Named = "(byte " + std::to_string(*badUtf8 + 1) + ")";
  } else if (encoding == TSettingsEncoding::Cp932 || badUtf8) {
    text.clear();
    if (!DecodeCp932(bytes, text, bad)) r.Named = "(byte " + std::to_string(bad + 1) + ")";
  }
  r.Fails = !r.Named.empty() || text.find(u'\0') != u16::npos;
  for (const u16& line : CutLines(text))
    if (Fields(line).size() == 2) r.Entries.push_back({SymbolRef(line), CaptionRef(line)});
  r.Fails = r.Fails || r.Entries.empty();
  return r;
}

std::string HexRef(unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  return std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
}

// Tab, CR, LF and backslash as \t \r \n \\; other controls (C0, DEL, and
// C1 as the two bytes of their UTF-8) as \xHH.
std::string EscapeRef(u16v field) {
  bool lone = false;
  const std::string utf8 = Utf16Ref(field, lone);
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    const unsigned char next = i + 1 < utf8.size() ? static_cast<unsigned char>(utf8[i + 1]) : 0;
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else if (c < 0x20 || c == 0x7F) out += HexRef(c);
    else if (c == 0xC2 && next >= 0x80 && next <= 0x9F) out += HexRef(c) + HexRef(next), ++i;
    else out += static_cast<char>(c);
  }
  return out;
}

// The listing read back by its rules: records, a tab, escapes.
std::vector<TEntryRef> ReadListing(std::string_view listing, char end) {
  std::vector<TEntryRef> entries;
  while (!listing.empty()) {
    const size_t stop = listing.find(end);
    if (stop == std::string_view::npos) Fail("listing record without its end", Widen(listing), u"", u"");
    const std::string_view record = listing.substr(0, stop);
    listing.remove_prefix(stop + 1);
    const size_t tab = record.find('\t');
    // Nothing raw that could steer a terminal.
    for (size_t i = 0; i < record.size(); ++i) {
      const unsigned char c = static_cast<unsigned char>(record[i]);
      if ((c < 0x20 && i != tab) || c == 0x7F) Fail("listing holds a control character", Widen(record), u"", u"");
    }
    if (tab == std::string_view::npos || record.find_first_of("\t\r\n", tab + 1) != std::string_view::npos ||
        record.substr(0, tab).find_first_of("\r\n") != std::string_view::npos)
      Fail("listing record", Widen(record), u"", u"");
    u16 fields[2];
    for (int f = 0; f < 2; ++f) {
      std::string field(f ? record.substr(tab + 1) : record.substr(0, tab)), plain;
      for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '\\') {
          plain += field[i];
          continue;
        }
        const char e = i + 1 < field.size() ? field[++i] : '?';
        if (e == 'x' && i + 2 < field.size() && isxdigit(static_cast<unsigned char>(field[i + 1])) &&
            isxdigit(static_cast<unsigned char>(field[i + 2]))) {
          plain += static_cast<char>(std::stoi(field.substr(i + 1, 2), nullptr, 16));
          i += 2;
          continue;
        }
        plain += e == 't' ? '\t' : e == 'r' ? '\r' : e == 'n' ? '\n' : e == '\\' ? '\\' : '?';
        if (plain.back() == '?') Fail("listing escape", Widen(record), u"", u"");
      }
      if (Utf8Ref(plain, fields[f])) Fail("listing is not UTF-8", Widen(record), u"", u"");
    }
    entries.push_back({fields[0], fields[1]});
  }
  return entries;
}

u16 MenuRef(u16v caption, bool dropKey) {
  u16 shown(caption.substr(0, caption.find(u'\t')));
  if (dropKey) shown = TrimRef(shown, true);
  const size_t n = shown.size();
  if (dropKey && n >= 4 && shown[n - 4] == u'(' && shown[n - 3] == u'&' && shown[n - 1] == u')')
    shown = TrimRef(u16v(shown).substr(0, n - 4), false);
  u16 out;
  for (size_t i = 0; i < shown.size(); ++i) out += shown[i] == u'&' && i + 1 < shown.size() ? shown[++i] : shown[i];
  return out;
}

// The symbol --entry CHOICE gives, or nullopt for a failure: digits pick by
// place; else the caption as stored or listed, and failing those as the
// menu shows it (trimmed, without its access key), must match exactly one.
std::optional<u16> ChooseRef(const std::vector<TEntryRef>& entries, const std::string& choice) {
  if (!choice.empty() && choice.find_first_not_of("0123456789") == std::string::npos) {
    const std::string digits = choice.substr(std::min(choice.find_first_not_of('0'), choice.size()));
    const size_t n = digits.empty() || digits.size() >= 10 ? 0 : std::stoul(digits);
    if (n < 1 || n > entries.size()) return std::nullopt;
    return entries[n - 1].Symbol;
  }
  u16 caption;
  if (Utf8Ref(choice, caption) || caption.empty()) return std::nullopt;
  std::vector<size_t> found;
  for (size_t i = 0; i < entries.size(); ++i)
    if (entries[i].Caption == caption || EscapeRef(entries[i].Caption) == choice) found.push_back(i);
  if (found.empty())
    for (size_t i = 0; i < entries.size(); ++i)
      if (MenuRef(entries[i].Caption, false) == caption || MenuRef(entries[i].Caption, true) == caption)
        found.push_back(i);
  if (found.size() != 1) return std::nullopt;
  return entries[found[0]].Symbol;
}

void CheckChoice(const TCommonStringRecordList& entries, const std::vector<TEntryRef>& ref, const std::string& choice) {
  const std::optional<u16> expected = ChooseRef(ref, choice);
  try {
    const u16 got = SymbolOfChosenEntry(entries, choice);
    Check("SymbolOfChosenEntry", Widen(choice), got, expected ? *expected : u"(a failure)");
  } catch (const TFailure& f) {
    if (expected || f.Status != kExitBad) Fail("SymbolOfChosenEntry fails", Widen(choice), Widen(f.Message), *expected);
  }
}

// A file of characters that matter in settings, in one of the encodings
// with a mark, or UTF-8 without one.
std::string MadeFile(TFuzzInput& in, unsigned form) {
  static const char16_t kAlphabet[] = {u'\t', u'\t', u'\r', u'\n', u'\n', u'\\', u't', u'n', u'R', u'&', u'(',
                                       u')',  u'M',  u' ',  u' ',  u'\u3000', u'\u3042', u'a', u'1', u'2', u'>',
                                       u'#',  u'\0', u'\xD83D', u'\xDE00', u'\x1F'};
  u16 text;
  while (in.N > 0) text += kAlphabet[in.Byte() % (sizeof kAlphabet / sizeof *kAlphabet)];
  bool lone = false;
  if (form < 2) return (form ? "\xEF\xBB\xBF" : "") + Utf16Ref(text, lone);
  std::string out = form == 2 ? "\xFF\xFE" : "\xFE\xFF";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += form == 2 ? lo : hi;
    out += form == 2 ? hi : lo;
  }
  return out;
}

std::string PathOf(std::string_view bytes) {
  static const int fd = memfd_create("settings", 0);
  if (fd < 0 || ftruncate(fd, 0) != 0 || pwrite(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
    Fail("memfd", u"", u"", u"");
  return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

// Byte 0: the encoding option (bits 0-1), the listing's record end (bit 2),
// a file made of settings characters (bit 3) in the form of bits 4-5.
// Byte 1 and 2: a choice of entry beside the captions. The rest: the file.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TFuzzInput in{data, size};
  const uint8_t options = in.Byte();
  static const TSettingsEncoding kEncodings[] = {TSettingsEncoding::Auto, TSettingsEncoding::Utf8,
                                                 TSettingsEncoding::Cp932, TSettingsEncoding::Auto};
  const TSettingsEncoding encoding = kEncodings[options & 3];
  const std::string extraChoice = in.Bytes(2);
  const std::string bytes = options & 8 ? MadeFile(in, (options >> 4) & 3) : in.Rest();
  const TLoadRef ref = LoadRef(bytes, encoding);
  TCommonStringRecordList entries;
  try {
    LoadSettingsEntries(PathOf(bytes), encoding, entries);
  } catch (const TFailure& f) {
    if (!ref.Fails || f.Status != kExitBad || f.Message.find(ref.Named) == std::string::npos)
      Fail("LoadSettingsEntries fails", Widen(bytes), Widen(f.Message), Widen(ref.Named));
    return 0;
  }
  if (ref.Fails || static_cast<size_t>(entries.Count()) != ref.Entries.size())
    Fail("LoadSettingsEntries count", Widen(bytes), u"", u"");
  for (size_t i = 0; i < ref.Entries.size(); ++i) {
    const u16 entry = entries.Item(static_cast<int32_t>(i));
    Check("SymbolOfEntry", entry, SymbolOfEntry(entry), ref.Entries[i].Symbol);
    Check("CaptionOfEntry", entry, CaptionOfEntry(entry), ref.Entries[i].Caption);
  }
  const bool null = options & 4;
  const std::vector<TEntryRef> listed = ReadListing(FormatEntries(entries, null), null ? '\0' : '\n');
  if (listed.size() != ref.Entries.size()) Fail("listed entries", Widen(bytes), u"", u"");
  for (size_t i = 0; i < ref.Entries.size(); ++i) {
    Check("listed symbol", entries.Item(static_cast<int32_t>(i)), listed[i].Symbol, ref.Entries[i].Symbol);
    Check("listed caption", entries.Item(static_cast<int32_t>(i)), listed[i].Caption, ref.Entries[i].Caption);
  }
  // Choices: numbers around the count, each caption in every form, and one from the input.
  std::vector<std::string> choices = {"0", "1", std::to_string(ref.Entries.size()),
                                      std::to_string(ref.Entries.size() + 1), "0000000001", extraChoice};
  for (const TEntryRef& e : ref.Entries) {
    bool lone = false;
    choices.push_back(Utf16Ref(e.Caption, lone));
    choices.push_back(EscapeRef(e.Caption));
    choices.push_back(Utf16Ref(MenuRef(e.Caption, true), lone));
  }
  for (const std::string& c : choices) CheckChoice(entries, ref.Entries, c);
  return 0;
}

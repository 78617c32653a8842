// Settings files as the filter reads them.
#include "SettingsFile.h"

#include "Cp932Decoder.h"
#include "EditUnit.h"
#include "Files.h"
#include "Messages.h"
#include "SymbolEntryUnit.h"
#include "TextDecoding.h"
#include "Utf.h"

namespace {

std::u16string StrictUtf8(std::string_view bytes, const std::string& path) {
  size_t bad = 0;
  auto text = Utf8ToUtf16(bytes, &bad);
  if (!text)
    FailBadInput("settings file " + Quote(path) + " is not valid UTF-8 (byte offset " + std::to_string(bad) +
                 "); try --settings-encoding=cp932");
  return std::move(*text);
}

std::u16string StrictCp932(std::string_view bytes, const std::string& path, bool alsoNotUtf8) {
  std::u16string text;
  size_t bad = 0;
  if (!DecodeCp932(bytes, text, bad))
    FailBadInput("settings file " + Quote(path) + " is " + (alsoNotUtf8 ? "neither UTF-8 nor" : "not") +
                 " code page 932 text (byte offset " + std::to_string(bad) + ")");
  return text;
}

void AppendEscaped(std::string& out, std::u16string_view field) {
  for (char c : Utf16ToUtf8Lossy(field)) {
    if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\n') out += "\\n";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
}

}  // namespace

std::u16string DecodeSettingsText(std::string_view Bytes, TSettingsEncoding Encoding, const std::string& Path) {
  return DecodeMarkedText(Bytes, [&](std::string_view bytes) {
    switch (Encoding) {
      case TSettingsEncoding::Utf8: return StrictUtf8(bytes, Path);
      case TSettingsEncoding::Cp932: return StrictCp932(bytes, Path, false);
      case TSettingsEncoding::Auto: break;
    }
    if (auto utf8 = Utf8ToUtf16(bytes)) return std::move(*utf8);
    return StrictCp932(bytes, Path, true);
  });
}

void LoadSettingsEntries(const std::string& Path, TSettingsEncoding Encoding, TCommonStringRecordList& Entries) {
  const std::string bytes = ReadWholeFile(Path);
  const std::u16string text = DecodeSettingsText(bytes, Encoding, Path);
  // NULs are what a UTF-16 file saved without a mark looks like here; its
  // symbols would be nonsense, so say what to do instead of using them.
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos)
    FailBadInput("settings file " + Quote(Path) + " holds a NUL character (at character " + std::to_string(nul) +
                 "); a UTF-16 file needs a byte order mark");
  SetValidEntries(Entries, text);
  if (Entries.Count() == 0)
    FailBadInput("settings file " + Quote(Path) + " holds no valid entry (each entry is a line: symbol, tab, caption)");
}

std::u16string SymbolOfChosenEntry(const TCommonStringRecordList& Entries, const std::string& Choice) {
  const bool number =
      !Choice.empty() && Choice.size() < 10 && Choice.find_first_not_of("0123456789") == std::string::npos;
  if (number) {
    const long n = std::stol(Choice);
    if (n < 1 || n > Entries.Count())
      FailBadInput("no entry " + Choice + ": the settings file has " + std::to_string(Entries.Count()) +
                   " valid entries");
    return SymbolOfEntry(Entries.Item(static_cast<int32_t>(n - 1)));
  }
  // The caption as the menu shows it, or as `entries` prints it (escaped),
  // so that a caption copied from that listing picks its entry.
  const auto caption = Utf8ToUtf16(Choice);
  if (caption) {
    for (int32_t i = 0; i < Entries.Count(); ++i)
      if (CaptionOfEntry(Entries.Item(i)) == *caption) return SymbolOfEntry(Entries.Item(i));
    for (int32_t i = 0; i < Entries.Count(); ++i) {
      std::string listed;
      AppendEscaped(listed, CaptionOfEntry(Entries.Item(i)));
      if (listed == Choice) return SymbolOfEntry(Entries.Item(i));
    }
  }
  FailBadInput("no entry has the caption " + Quote(Choice) + " (see marquill entries)");
}

std::string FormatEntries(const TCommonStringRecordList& Entries, bool Null) {
  std::string out;
  for (int32_t i = 0; i < Entries.Count(); ++i) {
    AppendEscaped(out, SymbolOfEntry(Entries.Item(i)));
    out += '\t';
    AppendEscaped(out, CaptionOfEntry(Entries.Item(i)));
    out += Null ? '\0' : '\n';
  }
  return out;
}

// Settings files as the filter reads them.
#include "SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "Cp932Decoder.h"
#include "EditUnit.h"
#include "Files.h"
#include "Messages.h"
#include "StringUnit.h"
#include "SymbolEntryUnit.h"
#include "Translate.h"
#include "TextDecoding.h"
#include "Utf.h"

namespace {

std::u16string StrictUtf8(std::string_view bytes, const std::string& path) {
  size_t bad = 0;
  auto text = Utf8ToUtf16(bytes, &bad);
  if (!text)
    FailBadInput(Fill(_("settings file %s is not valid UTF-8 (byte %s); try --settings-encoding=cp932"),
                      {Quote(path), std::to_string(bad + 1)}));
  return std::move(*text);
}

std::u16string StrictCp932(std::string_view bytes, const std::string& path, bool alsoNotUtf8) {
  std::u16string text;
  size_t bad = 0;
  if (!DecodeCp932(bytes, text, bad))
    FailBadInput(Fill(alsoNotUtf8 ? _("settings file %s is neither UTF-8 nor code page 932 text (byte %s)")
                                  : _("settings file %s is not code page 932 text (byte %s)"),
                      {Quote(path), std::to_string(bad + 1)}));
  return text;
}

// Control characters escaped, so that a listing cannot steer the terminal.
void AppendEscaped(std::string& out, std::u16string_view field) { out += Escape(Utf16ToUtf8Lossy(field)); }

std::string Escaped(std::u16string_view field) {
  std::string out;
  AppendEscaped(out, field);
  return out;
}

// The entries (indexes) whose caption in some form is Choice.
template <class Form>
std::vector<int32_t> EntriesWhere(const TCommonStringRecordList& entries, Form&& matches) {
  std::vector<int32_t> found;
  for (int32_t i = 0; i < entries.Count(); ++i)
    if (matches(CaptionOfEntry(entries.Item(i)))) found.push_back(i);
  return found;
}

[[noreturn]] void FailSeveral(const TCommonStringRecordList& entries, const std::vector<int32_t>& found,
                              const std::string& choice) {
  std::string list;
  for (int32_t i : found) {
    const std::string entry = std::to_string(i + 1) + " " + Quote(Escaped(CaptionOfEntry(entries.Item(i))));
    // A list in the user's language: "、" between Japanese items.
    list = list.empty() ? entry : Fill(_("%s, %s"), {list, entry});
  }
  FailBadInput(Fill(_("the caption %s matches several entries: %s; give the number of one"), {Quote(choice), list}));
}

// False only when the file is certainly not there; other failures are left
// for reading it to report.
bool MayExist(const std::string& path) {
#ifdef _WIN32
  return _access(path.c_str(), 0) == 0 || errno != ENOENT;
#else
  return access(path.c_str(), F_OK) == 0 || errno != ENOENT;
#endif
}

[[noreturn]] void FailReading(const std::string& path, int fd, int error) {
  if (fd >= 0) CloseDescriptor(fd);
  FailIo(Fill(_("cannot read %s: %s"), {Quote(path), ErrorText(error)}));
}

[[noreturn]] void FailTooLarge(const std::string& path, int fd) {
  CloseDescriptor(fd);
  FailBadInput(Fill(_("settings file %s is larger than %s MiB"),
                    {Quote(path), std::to_string(kSettingsByteLimit >> 20)}));
}

// Opened without waiting: a FIFO without a writer opens at once, and is
// then refused with the other files that are not regular.
int OpenRegularOnly(const std::string& path) {
#ifdef _WIN32
  const std::u16string wide = Utf8ToUtf16(path).value_or(std::u16string());
  const int fd = wide.empty() ? -1 : _wopen(reinterpret_cast<const wchar_t*>(wide.c_str()), _O_RDONLY | _O_BINARY);
  if (wide.empty()) errno = ENOENT;
#else
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
#endif
  if (fd < 0) FailIo(Fill(_("cannot open %s: %s"), {Quote(path), ErrorText(errno)}));
#ifdef _WIN32
  struct _stati64 st = {};
  const bool known = _fstati64(fd, &st) == 0;
  const bool regular = (st.st_mode & _S_IFMT) == _S_IFREG;
#else
  struct stat st = {};
  const bool known = fstat(fd, &st) == 0;
  const bool regular = S_ISREG(st.st_mode);
#endif
  if (!known) FailReading(path, fd, errno);
  if (!regular) {
    CloseDescriptor(fd);
    FailIo(Fill(_("cannot read %s: not a regular file"), {Quote(path)}));
  }
  if (static_cast<uint64_t>(st.st_size) > kSettingsByteLimit) FailTooLarge(path, fd);
  return fd;
}

// Where the first line longer than kSettingsLineLimit characters begins
// (its number, from 1), or 0.
size_t FirstLongLine(std::u16string_view text) {
  size_t line = 1, lineStart = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    const bool end = i == text.size() || text[i] == u'\n' || text[i] == u'\r';
    if (!end) continue;
    if (i - lineStart > kSettingsLineLimit) return line;
    if (i < text.size() && text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    ++line;
    lineStart = i + 1;
  }
  return 0;
}

std::string FromEnvironment(const char* name) {
#ifdef _WIN32
  // As UTF-16, so that a user name outside the ANSI code page survives.
  const std::wstring wide(name, name + std::strlen(name));
  const wchar_t* v = _wgetenv(wide.c_str());
  return v ? Utf16ToUtf8(std::u16string(v, v + std::wcslen(v))).value_or("") : "";
#else
  const char* v = std::getenv(name);
  return v ? v : "";
#endif
}

}  // namespace

std::u16string DecodeSettingsBytes(std::string_view Bytes, TSettingsEncoding Encoding, const std::string& Path) {
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

const char* EncodingNameOf(std::string_view Bytes, TSettingsEncoding Encoding) {
  switch (ByteOrderMarkOf(Bytes)) {
    case bomUtf8: return "utf-8-bom";
    case bomUtf16Le: return "utf-16le";
    case bomUtf16Be: return "utf-16be";
    case bomNone: break;
  }
  switch (Encoding) {
    case TSettingsEncoding::Utf8: return "utf-8";
    case TSettingsEncoding::Cp932: return "cp932";
    case TSettingsEncoding::Auto: break;
  }
  return Utf8ToUtf16(Bytes) ? "utf-8" : "cp932";
}

std::u16string SettingsTextOf(std::string_view Bytes, TSettingsEncoding Encoding, const std::string& Path) {
  std::u16string text = DecodeSettingsBytes(Bytes, Encoding, Path);
  // NULs are what a UTF-16 file saved without a mark looks like here; its
  // symbols would be nonsense, so say what to do instead of using them.
  const size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) {
    // Line and character both from 1; CR LF, CR and LF each end a line.
    size_t line = 1, lineStart = 0;
    for (size_t i = 0; i < nul; ++i) {
      if (text[i] == u'\n' || (text[i] == u'\r' && text[i + 1] != u'\n')) {
        ++line;
        lineStart = i + 1;
      }
    }
    FailBadInput(
        Fill(_("settings file %s holds a NUL character (line %s, character %s); convert UTF-16 files to UTF-8"),
             {Quote(Path), std::to_string(line), std::to_string(nul - lineStart + 1)}));
  }
  if (const size_t line = FirstLongLine(text))
    FailBadInput(Fill(_("settings file %s: line %s is longer than %s characters"),
                      {Quote(Path), std::to_string(line), std::to_string(kSettingsLineLimit)}));
  return text;
}

std::string ReadSettingsFile(const std::string& Path) {
  const int fd = OpenRegularOnly(Path);
  std::string bytes;
  char buf[65536];
  for (;;) {
    const long r = ReadSome(fd, buf, sizeof buf);
    if (r < 0) FailReading(Path, fd, errno);
    if (r == 0) break;
    // A file that grows while it is read stops at the limit too.
    if (bytes.size() + static_cast<size_t>(r) > kSettingsByteLimit) FailTooLarge(Path, fd);
    bytes.append(buf, static_cast<size_t>(r));
  }
  CloseDescriptor(fd);
  return bytes;
}

void LoadSettingsEntries(const std::string& Path, TSettingsEncoding Encoding, TCommonStringRecordList& Entries) {
  SetValidEntries(Entries, SettingsTextOf(ReadSettingsFile(Path), Encoding, Path));
  if (Entries.Count() == 0)
    FailBadInput(Fill(_("settings file %s holds no valid entry (each entry is a line: symbol, tab, caption)"),
                      {Quote(Path)}));
}

std::u16string MenuCaption(std::u16string_view Caption, bool DropAccessKey) {
  std::u16string_view shown = Caption.substr(0, Caption.find(u'\t'));
  if (DropAccessKey) shown = TrimView(shown);
  if (DropAccessKey && shown.size() >= 4 && shown.ends_with(u')') && shown[shown.size() - 4] == u'(' &&
      shown[shown.size() - 3] == u'&') {
    shown.remove_suffix(4);
    shown = TrimRightView(shown);
  }
  std::u16string out;
  for (size_t i = 0; i < shown.size(); ++i) {
    if (shown[i] == u'&' && i + 1 < shown.size()) ++i;  // "&x" shows x, "&&" shows &
    out += shown[i];
  }
  return out;
}

bool IsEntryNumber(const std::string& Choice) {
  return !Choice.empty() && Choice.find_first_not_of("0123456789") == std::string::npos;
}

std::vector<int32_t> EntriesOfCaption(const TCommonStringRecordList& Entries, const std::string& Choice) {
  const std::u16string caption = Utf8ToUtf16(Choice).value_or(std::u16string());
  const bool valid = !caption.empty();
  // The caption as stored, or as `entries` prints it (escaped), so that a
  // caption copied from that listing picks its entry; then as the menu shows it.
  std::vector<int32_t> found = EntriesWhere(Entries, [&](const std::u16string& c) {
    return valid && (c == caption || Escaped(c) == Choice);
  });
  // The caption field exactly as stored (and as the JSON listing gives it),
  // trailing blanks and escapes included.
  if (found.empty()) {
    for (int32_t i = 0; valid && i < Entries.Count(); ++i)
      if (CaptionFieldOfEntry(Entries.Item(i)) == caption) found.push_back(i);
  }
  if (found.empty()) {
    found = EntriesWhere(Entries, [&](const std::u16string& c) {
      return valid && (MenuCaption(c, false) == caption || MenuCaption(c, true) == caption);
    });
  }
  return found;
}

// A form equal to the caption as stored is left out: a choice it matches
// matches the stored caption too, so this entry is found at the first step
// anyway, and the forms as shown are never looked at.
TCaptionIndex::TCaptionIndex(const TCommonStringRecordList& Entries) {
  const size_t count = static_cast<size_t>(Entries.Count());
  Stored.reserve(count);
  Shown.reserve(count);
  for (int32_t i = 0; i < Entries.Count(); ++i) {
    const std::u16string caption = CaptionOfEntry(Entries.Item(i));
    Note(Stored[caption], i);
    const std::string escaped = Escaped(caption);
    if (Utf16ToUtf8(caption) != escaped) Note(EscapedForms[escaped], i);
    const std::u16string field = CaptionFieldOfEntry(Entries.Item(i));
    if (field != caption) Note(Fields[field], i);
    const std::u16string shown = MenuCaption(caption, false);
    const std::u16string label = MenuCaption(caption, true);
    if (shown != caption) Note(Shown[shown], i);
    if (label != shown && label != caption) Note(Shown[label], i);
  }
}

void TCaptionIndex::Note(TSlot& Slot, int32_t Entry) {
  if (Slot.First < 0) Slot.First = Entry;
  else if (Slot.First != Entry) Slot.Several = true;
}

template <class Map, class Key>
TCaptionIndex::TSlot TCaptionIndex::Find(const Map& Forms, const Key& Form) {
  const auto found = Forms.find(Form);
  return found == Forms.end() ? TSlot{} : found->second;
}

// The one entry of the slots together; -1 for none, -2 for several.
int32_t TCaptionIndex::OnlyOne(std::initializer_list<TSlot> Slots) {
  int32_t one = -1;
  for (const TSlot& slot : Slots) {
    if (slot.First < 0) continue;
    if (slot.Several || (one >= 0 && one != slot.First)) return -2;
    one = slot.First;
  }
  return one;
}

int32_t TCaptionIndex::Alone(const std::string& Choice) const {
  const std::u16string caption = Utf8ToUtf16(Choice).value_or(std::u16string());
  if (caption.empty()) return -1;
  // The same steps as EntriesOfCaption: stored or escaped, the field as
  // stored, then as shown.
  int32_t one = OnlyOne({Find(Stored, caption), Find(EscapedForms, Choice)});
  if (one == -1) one = OnlyOne({Find(Fields, caption)});
  if (one == -1) one = OnlyOne({Find(Shown, caption)});
  return std::max(one, int32_t{-1});
}

std::u16string SymbolOfChosenEntry(const TCommonStringRecordList& Entries, const std::string& Choice) {
  if (IsEntryNumber(Choice)) {
    // Leading zeros of any length; a number too large for an entry is none.
    const std::string digits = Choice.substr(std::min(Choice.find_first_not_of('0'), Choice.size()));
    const long n = digits.size() < 10 ? std::atol(digits.c_str()) : 0;
    if (n < 1 || n > Entries.Count())
      FailBadInput(Fill(_("no entry %s: the settings file has %s valid entries"),
                        {Choice, std::to_string(Entries.Count())}));
    return SymbolOfEntry(Entries.Item(static_cast<int32_t>(n - 1)));
  }
  const std::vector<int32_t> found = EntriesOfCaption(Entries, Choice);
  if (found.size() > 1) FailSeveral(Entries, found, Choice);
  if (found.empty()) FailBadInput(Fill(_("no entry has the caption %s (see marquill entries)"), {Quote(Choice)}));
  return SymbolOfEntry(Entries.Item(found.front()));
}

const char kStarterSettings[] = "/usr/share/doc/marquill/examples/Marquill_Setting.txt";

std::string SettingsPathOf(const TFilterOptions& Options, bool MayBeMissing) {
  if (Options.Settings) return *Options.Settings;
  std::string path = FromEnvironment("MARQUILL_SETTINGS");
  std::string tried;
  if (!path.empty()) {
    tried = Fill(_("%s, named by MARQUILL_SETTINGS"), {Quote(path)});
  } else {
#ifdef _WIN32
    // A Windows user's settings live in the roaming application-data folder.
    const std::string appData = FromEnvironment("APPDATA");
    if (appData.empty()) FailIo(_("no settings file: neither MARQUILL_SETTINGS nor APPDATA is set; give --settings FILE"));
    path = appData + "\\Marquill\\Marquill_Setting.txt";
#else
    // A relative XDG_CONFIG_HOME is invalid, and ignored as if unset.
    std::string config = FromEnvironment("XDG_CONFIG_HOME");
    if (!config.starts_with('/')) {
      const std::string home = FromEnvironment("HOME");
      if (home.empty()) FailIo(_("no settings file: neither MARQUILL_SETTINGS nor HOME is set; give --settings FILE"));
      config = home + "/.config";
    }
    path = config + "/marquill/Marquill_Setting.txt";
#endif
    tried = Quote(path);
  }
  if (!MayBeMissing && !MayExist(path))
    FailIo(Fill(_("no settings file (tried %s); copy the starter list %s there, or give --settings FILE or -e SYMBOL"),
                {tried, kStarterSettings}));
  return path;
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

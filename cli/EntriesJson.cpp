// The JSON listing of the settings file, its entries, the menu and the options.
#include "EntriesJson.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <cerrno>
#include <filesystem>
#include <vector>

#include "Files.h"
#include "LineBreaks.h"
#include "MenuItems.h"
#include "Messages.h"
#include "OptionTable.h"
#include "SettingsFile.h"
#include "SymbolEntryUnit.h"
#include "TextDecoding.h"
#include "TextScan.h"
#include "Translate.h"
#include "Utf.h"

#ifndef MARQUILL_VERSION
#define MARQUILL_VERSION "unknown"
#endif

namespace {

std::string Json(std::u16string_view text) { return JsonString(Utf16ToUtf8Lossy(text)); }

std::string JsonList(const std::vector<std::string>& items) {
  std::string out = "[";
  for (const std::string& item : items) out += (out.size() > 1 ? ", " : "") + JsonString(item);
  return out + "]";
}

std::string AbsolutePath(const std::string& path) {
#ifdef _WIN32
  const std::u8string u8(path.begin(), path.end());
  const std::u8string full = std::filesystem::absolute(std::filesystem::path(u8)).u8string();
  return std::string(full.begin(), full.end());
#else
  if (path.starts_with('/')) return path;
  std::string cwd(4096, '\0');
  if (!getcwd(cwd.data(), cwd.size())) return path;
  cwd.resize(cwd.find('\0'));
  return cwd + (cwd.ends_with('/') ? "" : "/") + path;
#endif
}

// The path as JSON; a path that is not UTF-8 also as its bytes, so that an
// editor can open that very file.
std::string PathFields(const std::string& path) {
  std::string out = "\"path\": " + JsonString(path);
  if (Utf8ToUtf16(path)) return out;
  out += ", \"path_bytes\": [";
  for (size_t i = 0; i < path.size(); ++i)
    out += (i ? ", " : "") + std::to_string(static_cast<unsigned char>(path[i]));
  return out + "]";
}

bool Exists(const std::string& path) {
  std::error_code error;
  const std::u8string u8(path.begin(), path.end());
  return std::filesystem::exists(std::filesystem::path(u8), error) || (error && error.value() != ENOENT);
}

// The first line break of the text, or LF for a text without one.
const char* LineBreakOf(std::u16string_view text) {
  const size_t end = FindLineEnd(text, 0);
  const std::u16string_view line = text.substr(0, end);
  if (line.ends_with(u"\r\n")) return "\r\n";
  if (line.ends_with(u"\r")) return "\r";
  return "\n";
}

// The access key of a menu caption, as the popup menu takes it: the
// character after a lone '&' before the tab ("&&" shows one &); "" for none.
std::u16string AccessKey(std::u16string_view caption) {
  const std::u16string_view shown = caption.substr(0, caption.find(u'\t'));
  for (size_t i = 0; i + 1 < shown.size(); ++i) {
    if (shown[i] != u'&') continue;
    if (shown[i + 1] != u'&') return std::u16string(1, shown[i + 1]);
    ++i;
  }
  return {};
}

// The text that --entry takes for entry i: its label when that names this
// entry alone and is no number, else its number.
std::string EntryChoice(const TCaptionIndex& index, int32_t i, const std::string& label) {
  bool plain = !label.empty() && !IsEntryNumber(label);
  for (char c : label) plain = plain && static_cast<unsigned char>(c) >= 0x20;
  if (plain && index.Alone(label) == i) return label;
  return std::to_string(i + 1);
}

std::string EntriesList(const TCommonStringRecordList& entries) {
  const TCaptionIndex index(entries);
  std::string out = "[";
  for (int32_t i = 0; i < entries.Count(); ++i) {
    const std::u16string_view entry = entries.Item(i);
    const std::u16string caption = CaptionOfEntry(entry);
    const size_t tab = caption.find(u'\t');
    const std::string label = Utf16ToUtf8Lossy(MenuCaption(caption, true));
    out += i ? ",\n  " : "\n  ";
    out += "{\"number\": " + std::to_string(i + 1) + ", \"symbol\": " + Json(SymbolOfEntry(entry)) +
           ", \"caption\": " + Json(CaptionFieldOfEntry(entry)) + ", \"label\": " + JsonString(label) +
           ", \"shortcut\": " + Json(tab == std::u16string::npos ? u"" : std::u16string_view(caption).substr(tab + 1)) +
           ", \"entry\": " + JsonString(EntryChoice(index, i, label)) + ", \"key\": " + Json(AccessKey(caption)) +
           "}";
  }
  return out + "]";
}

// The filter's arguments that make the edit of a menu item.
std::vector<std::string> ArgumentsOf(const TMenuItem& item) {
  switch (item.Kind) {
    case ekInsert: {
      const TOptionSpec& at = OptionOfCode(kOptAt);
      const TOptionSpec& lines = OptionOfCode(kOptLines);
      return {"insert", "--at", at.Values[item.Position], "--lines", lines.Values[item.Target]};
    }
    case ekDeleteGiven: return {VerbName(TVerb::Delete)};
    case ekDeleteOnce: return {VerbName(TVerb::DeleteOnce)};
    case ekDeleteAll: return {VerbName(TVerb::DeleteAll)};
  }
  return {};
}

// The menu's group and caption of each item of MenuItems, in English, for
// the editors in the user's language; the catalogue's Japanese is the
// plug-in's own (a test compares them), which the plug-in shows as it is.
struct TMenuWords {
  const char* Group = nullptr;
  const char* Caption = nullptr;
};
constexpr TMenuWords kMenuWords[] = {
    {N_("Insert at Line Head"), N_("All Lines")},
    {N_("Insert at Line Head"), N_("Non-Blank Lines")},
    {N_("Insert at Line Head"), N_("Least-Indented Lines Only")},
    {N_("Insert at Line Head"), N_("Lines After a Blank Line Only")},
    {N_("Insert at Text Start"), N_("All Lines")},
    {N_("Insert at Text Start"), N_("Non-Blank Lines")},
    {N_("Insert at Text Start"), N_("Least-Indented Lines Only")},
    {N_("Insert at Text Start"), N_("Lines After a Blank Line Only")},
    {N_("Delete Head Symbol"), N_("Delete Once")},
    {N_("Delete Head Symbol"), N_("Delete All")},
    {N_("Delete Head Symbol"), N_("Delete Given")},
    {nullptr, N_("Edit Settings")},
    {nullptr, N_("Cancel")},
};
static_assert(std::size(kMenuWords) == std::size(MenuItems));

std::string MenuList() {
  std::string out = "{\"entry_limit\": " + std::to_string(MenuEntryLimit) + ", \"items\": [";
  for (size_t i = 0; i < std::size(MenuItems); ++i) {
    const TMenuItem& item = MenuItems[i];
    out += i ? ",\n  " : "\n  ";
    const char* action = item.Action == maEdit ? "edit" : item.Action == maEditSettings ? "edit-settings" : "cancel";
    out += std::string("{\"group\": ") + (item.Group ? JsonString(_(kMenuWords[i].Group)) : "null") +
           ", \"caption\": " + JsonString(_(kMenuWords[i].Caption)) + ", \"action\": " + JsonString(action) +
           ", \"per_entry\": " + (item.PerEntry ? "true" : "false") +
           ", \"args\": " + JsonList(item.Action == maEdit ? ArgumentsOf(item) : std::vector<std::string>{}) + "}";
  }
  return out + "]}";
}

std::string CommandsList() {
  std::string out = "[";
  for (const TVerbName& verb : Verbs()) {
    out += out.size() > 1 ? ",\n  " : "\n  ";
    out += "{\"verb\": " + JsonString(verb.Name) + ", \"files\": " + (verb.TakesFiles ? "true" : "false") +
           ", \"options\": [";
    bool first = true;
    for (const TOptionSpec& option : Options()) {
      if (!VerbTakes(verb.Verb, option)) continue;
      out += first ? "" : ", ";
      first = false;
      out += "{\"name\": " + JsonString(std::string("--") + option.Name);
      if (option.Letter) out += ", \"short\": " + JsonString(std::string("-") + option.Letter);
      if (option.Argument != no_argument)
        out += std::string(", \"argument\": ") + (option.Argument == required_argument ? "\"required\"" : "\"optional\"") +
               ", \"values\": " + JsonList(std::vector<std::string>(option.Values.begin(), option.Values.end()));
      out += "}";
    }
    out += "]}";
  }
  return out + "]";
}

}  // namespace

std::string JsonString(std::string_view Text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (char c : Utf16ToUtf8Lossy(Utf8ToUtf16Replacing(Text))) {
    const unsigned char u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) out += std::string("\\u00") + kHex[u >> 4] + kHex[u & 15];
        else out += c;
    }
  }
  return out + "\"";
}

std::string EntriesJson(const TFilterOptions& Options) {
  const std::string path = SettingsPathOf(Options, true);
  const bool exists = Exists(path);
  TCommonStringRecordList entries;
  const char* encoding = "utf-8";
  const char* lineBreak = "\n";
  std::string error;
  if (exists) {
    // A file that cannot be read or decoded still leaves its path, the menu
    // and the options to the editors, so that they can open it to mend it.
    try {
      const std::string bytes = ReadSettingsFile(path);
      encoding = EncodingNameOf(bytes, Options.SettingsEncoding);
      const std::u16string text = SettingsTextOf(bytes, Options.SettingsEncoding, path);
      lineBreak = LineBreakOf(text);
      SetValidEntries(entries, text);
    } catch (const TFailure& failure) {
      error = ", \"error\": " + JsonString(FailureText(failure));
    }
  }
  return std::string("{\"version\": ") + JsonString(MARQUILL_VERSION) + ",\n\"settings\": {" +
         PathFields(AbsolutePath(path)) + ", \"exists\": " + (exists ? "true" : "false") +
         ", \"encoding\": " + JsonString(encoding) + ", \"line_break\": " + JsonString(lineBreak) +
         ", \"starter\": " + JsonString(kStarterSettings) + error +
         "},\n\"entries\": " + EntriesList(entries) + ",\n\"menu\": " + MenuList() +
         ",\n\"commands\": " + CommandsList() + "}\n";
}

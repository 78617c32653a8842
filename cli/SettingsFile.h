// The filter's use of a settings file: its bytes decoded, its valid entries,
// one entry picked as the menu picks it, and the entries listed for scripts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Arguments.h"
#include "StringRecordList.h"

// The text of a settings file's bytes: a byte order mark decides; without
// one, Encoding does (auto: valid UTF-8 is UTF-8, anything else code page
// 932). Throws TFailure (status 2) naming Path when the bytes are not text
// of the chosen encoding.
std::u16string DecodeSettingsBytes(std::string_view Bytes, TSettingsEncoding Encoding, const std::string& Path);

// Where the starter list of symbols is installed, for users to copy.
extern const char kStarterSettings[];

// The settings file the options name: --settings FILE, or else the default
// one, $MARQUILL_SETTINGS when it is set and not empty, else
// ${XDG_CONFIG_HOME:-$HOME/.config}/marquill/Marquill_Setting.txt, where an
// XDG_CONFIG_HOME that is no absolute path counts as unset. Throws
// TFailure (status 1) naming the path tried and the starter list when the
// default file does not exist, unless MayBeMissing.
std::string SettingsPathOf(const TFilterOptions& Options, bool MayBeMissing = false);

// The name of the encoding that a settings file's bytes are read in:
// utf-8-bom, utf-16le or utf-16be by their mark, else utf-8 or cp932.
const char* EncodingNameOf(std::string_view Bytes, TSettingsEncoding Encoding);
// The most bytes a settings file may hold, and characters a line of it.
constexpr size_t kSettingsByteLimit = size_t{16} << 20;
constexpr size_t kSettingsLineLimit = size_t{64} << 10;
// The bytes of the settings file at Path. Throws TFailure at once, without
// waiting on a FIFO, when it is no regular file (status 1), cannot be read
// (status 1) or holds more than kSettingsByteLimit bytes (status 2).
std::string ReadSettingsFile(const std::string& Path);

// The text of a settings file's bytes (DecodeSettingsBytes), refused with a
// TFailure when it holds a NUL or a line longer than kSettingsLineLimit
// characters (UTF-16 units, the break not counted).
std::u16string SettingsTextOf(std::string_view Bytes, TSettingsEncoding Encoding, const std::string& Path);

// The valid entries of the file at Path, in file order. Throws TFailure when
// it cannot be read or decoded, or holds no valid entry.
void LoadSettingsEntries(const std::string& Path, TSettingsEncoding Encoding, TCommonStringRecordList& Entries);

// The caption as the menu shows it: the part before any tab, without the
// access-key marks (&& shows as &); with DropAccessKey, also without the
// blanks around it and a trailing access-key group such as "(&M)" and the
// blanks before that: the label a picker shows.
std::u16string MenuCaption(std::u16string_view Caption, bool DropAccessKey);

// True when Choice, as --entry takes it, is an entry number: digits only.
bool IsEntryNumber(const std::string& Choice);
// The entries (indexes) that a Choice that is no number names: by the
// caption as stored or as entries prints it, or failing those, as the menu
// shows it (MenuCaption, with or without the access key).
std::vector<int32_t> EntriesOfCaption(const TCommonStringRecordList& Entries, const std::string& Choice);

// Which entry a Choice that is no number names alone, as EntriesOfCaption
// finds it, looked up in time independent of the number of entries: the
// caption forms of all entries are indexed once.
class TCaptionIndex {
 public:
  explicit TCaptionIndex(const TCommonStringRecordList& Entries);
  // The index of the only entry that EntriesOfCaption(Entries, Choice)
  // gives, or -1 when it gives none or several.
  int32_t Alone(const std::string& Choice) const;

 private:
  // The first entry with a form, and whether another entry has it too.
  struct TSlot {
    int32_t First = -1;
    bool Several = false;
  };
  static void Note(TSlot& Slot, int32_t Entry);
  template <class Map, class Key>
  static TSlot Find(const Map& Forms, const Key& Form);
  static int32_t OnlyOne(std::initializer_list<TSlot> Slots);
  std::unordered_map<std::u16string, TSlot> Stored, Fields, Shown;
  std::unordered_map<std::string, TSlot> EscapedForms;
};

// The symbol of the entry that Choice names: its number (from 1) among the
// valid entries, or else its caption as stored or as entries prints it, or
// failing those, as the menu shows it (MenuCaption, with or without the
// access key). Throws TFailure when nothing matches or when several entries
// match at the same step, listing them.
std::u16string SymbolOfChosenEntry(const TCommonStringRecordList& Entries, const std::string& Choice);

// One record per entry: the symbol, a tab, the caption, each with tab, CR,
// LF and backslash written as \t, \r, \n, \\ and other control characters
// as \xHH (each byte of their UTF-8); records end with LF, or NUL.
std::string FormatEntries(const TCommonStringRecordList& Entries, bool Null);

// Message texts in the user's language: the installed gettext catalogue, the
// Japanese catalogue built into the program, and the system's reasons.
#include "Translate.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <libintl.h>
#endif

// The compiled ja.po, written into a source file when the program is built.
extern const unsigned char kJapaneseCatalogue[];
extern const size_t kJapaneseCatalogueSize;

namespace {

// The language part of a locale or LANGUAGE entry: "ja" of "ja_JP.UTF-8".
std::string_view LanguageOf(std::string_view Locale) { return Locale.substr(0, Locale.find_first_of("_.@")); }

bool IsSet(const char* Value) { return Value && *Value; }

// The 32-bit number at Offset, in the catalogue's byte order.
uint32_t WordAt(const unsigned char* Mo, size_t Offset, bool BigEndian) {
  uint32_t w = 0;
  for (int i = 0; i < 4; ++i) w |= uint32_t{Mo[Offset + i]} << (BigEndian ? 24 - 8 * i : 8 * i);
  return w;
}

#ifdef _WIN32
bool UiIsJapanese() { return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE; }
#else
bool UiIsJapanese() { return false; }
#endif

}  // namespace

bool PrefersJapanese(const char* Language, const char* LcAll, const char* LcMessages, const char* Lang,
                     bool UiJapanese) {
  const char* locale = IsSet(LcAll) ? LcAll : IsSet(LcMessages) ? LcMessages : IsSet(Lang) ? Lang : nullptr;
  const std::string_view name = locale ? locale : "";
  if (name == "C" || name == "POSIX") return false;
  if (IsSet(Language)) {
    // gettext takes the first language with a catalogue; Japanese is the
    // only one there is.
    std::string_view list = Language;
    while (!list.empty()) {
      const size_t colon = std::min(list.find(':'), list.size());
      if (LanguageOf(list.substr(0, colon)) == "ja") return true;
      list.remove_prefix(std::min(colon + 1, list.size()));
    }
    return false;
  }
  if (locale) return LanguageOf(name) == "ja";
  return UiJapanese;
}

#ifdef __EMSCRIPTEN__
// The module speaks the language of the catalogue its host gave it last.
bool UsesJapanese() { return ModuleHasCatalogue(); }
#else
bool UsesJapanese() {
  static const bool japanese = PrefersJapanese(std::getenv("LANGUAGE"), std::getenv("LC_ALL"),
                                               std::getenv("LC_MESSAGES"), std::getenv("LANG"), UiIsJapanese());
  return japanese;
}
#endif

std::optional<std::string_view> LookUpCatalogue(const unsigned char* Mo, size_t Size, std::string_view Id) {
  constexpr uint32_t kMagic = 0x950412de;
  if (Size < 28) return std::nullopt;
  const bool big = WordAt(Mo, 0, false) != kMagic;
  if (big && WordAt(Mo, 0, true) != kMagic) return std::nullopt;
  const uint64_t count = WordAt(Mo, 8, big);
  const uint64_t originals = WordAt(Mo, 12, big);
  const uint64_t translations = WordAt(Mo, 16, big);
  if (originals + count * 8 > Size || translations + count * 8 > Size) return std::nullopt;
  // The string of entry Index in a table: its length and offset, and the
  // NUL after it, all inside the catalogue.
  const auto text = [&](uint64_t table, uint64_t index) -> std::optional<std::string_view> {
    const uint64_t length = WordAt(Mo, table + index * 8, big);
    const uint64_t offset = WordAt(Mo, table + index * 8 + 4, big);
    if (offset + length >= Size || Mo[offset + length] != 0) return std::nullopt;
    return std::string_view(reinterpret_cast<const char*>(Mo + offset), length);
  };
  // msgfmt sorts the originals bytewise.
  uint64_t low = 0;
  uint64_t high = count;
  while (low < high) {
    const uint64_t middle = low + (high - low) / 2;
    const auto original = text(originals, middle);
    if (!original) return std::nullopt;
    const int order = original->compare(Id);
    if (order == 0) return text(translations, middle);
    if (order < 0) low = middle + 1;
    else high = middle;
  }
  return std::nullopt;
}

const char* _(const char* Text) {
#ifndef _WIN32
  const char* installed = dgettext("marquill", Text);
  if (installed != Text) return installed;
#endif
  if (!UsesJapanese() || !*Text) return Text;
  const auto built = LookUpCatalogue(kJapaneseCatalogue, kJapaneseCatalogueSize, Text);
  return built && !built->empty() ? built->data() : Text;
}

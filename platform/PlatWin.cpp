// The Windows calls behind Platform.h: locale comparison and code page conversions.
#include <windows.h>

#include <climits>

#include "Platform.h"

namespace {

const wchar_t* Wide(std::u16string_view s) { return reinterpret_cast<const wchar_t*>(s.data()); }

UINT PageOf(uint32_t codePage) { return codePage == AnsiCodePage ? GetACP() : static_cast<UINT>(codePage); }

}  // namespace

bool PlatformWordsEqual(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
  if (a.size() > INT_MAX || b.size() > INT_MAX) return false;
  return CompareStringW(LOCALE_USER_DEFAULT, ignoreCase ? NORM_IGNORECASE : 0, Wide(a), static_cast<int>(a.size()),
                        Wide(b), static_cast<int>(b.size())) == CSTR_EQUAL;
}

std::optional<uint64_t> PlatformAnsiByteCount(std::u16string_view text) {
  uint64_t bytes = 0;
  while (!text.empty()) {
    // Pieces that fit an int, never cutting a surrogate pair.
    size_t take = text.size() < 0x10000000u ? text.size() : 0x10000000u;
    if (take < text.size() && take > 1 && text[take - 1] >= 0xD800 && text[take - 1] < 0xDC00) --take;
    bytes += static_cast<uint64_t>(
        WideCharToMultiByte(CP_ACP, 0, Wide(text), static_cast<int>(take), nullptr, 0, nullptr, nullptr));
    text.remove_prefix(take);
  }
  return bytes;
}

std::optional<std::u16string> AnsiToUtf16(std::string_view bytes, uint32_t codePage) {
  if (bytes.empty()) return std::u16string();
  if (bytes.size() > INT_MAX) return std::nullopt;
  const UINT page = PageOf(codePage);
  const int length = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(page, 0, bytes.data(), length, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::u16string text(static_cast<size_t>(units), u'\0');
  MultiByteToWideChar(page, 0, bytes.data(), length, reinterpret_cast<wchar_t*>(text.data()), units);
  return text;
}

std::optional<std::string> Utf16ToAnsi(std::u16string_view text, uint32_t codePage) {
  if (text.empty()) return std::string();
  if (text.size() > INT_MAX) return std::nullopt;
  const UINT page = PageOf(codePage);
  const int length = static_cast<int>(text.size());
  // No best-fit look-alikes: what the code page cannot hold becomes its default character.
  const DWORD flags = (page == CP_UTF8 || page == CP_UTF7) ? 0 : WC_NO_BEST_FIT_CHARS;
  const int size = WideCharToMultiByte(page, flags, Wide(text), length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::nullopt;
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(page, flags, Wide(text), length, bytes.data(), size, nullptr, nullptr);
  return bytes;
}

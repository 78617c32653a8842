// Message texts in the user's language: looked up in the gettext catalogue
// "marquill" where one is installed, else in the Japanese catalogue built
// into the program; Fill puts values into them.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>

// Marks a text for translation where it is written; _() translates it
// where it is shown.
#define N_(Text) Text

// Text in the user's language, or Text itself where it has no translation.
const char* _(const char* Text);

// Whether the user reads Japanese, decided as gettext decides: the locale
// named by the first of LC_ALL, LC_MESSAGES and LANG that is set, and
// LANGUAGE (languages separated by colons) before it unless that locale is
// C or POSIX. With none of them set, UiJapanese: the user interface
// language (Windows). Values are the variables' (nullptr where unset).
bool PrefersJapanese(const char* Language, const char* LcAll, const char* LcMessages, const char* Lang,
                     bool UiJapanese);
// The same for this process, decided once from its environment (in the
// WebAssembly module: whether its host gave it a catalogue).
bool UsesJapanese();
#ifdef __EMSCRIPTEN__
bool ModuleHasCatalogue();
#endif

// The translation of Id in a compiled gettext catalogue (.mo) held in
// memory, or nothing when it has none or the bytes are not one.
std::optional<std::string_view> LookUpCatalogue(const unsigned char* Mo, size_t Size, std::string_view Id);

// The reason for a failed system call in the user's language: the reasons
// of the common errno values from the catalogue, so that a program without
// libc's catalogue (or on Windows) says the same as with it.
std::string ErrorText(int Errno);

// Template with "%s" placeholders, filled in order, or "%N$s" (N from 1) for
// translations that reorder them; "%%" is a percent sign.
std::string Fill(std::string_view Template, std::initializer_list<std::string_view> Values);

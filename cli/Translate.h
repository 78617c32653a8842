// Message texts in the user's language: looked up in the gettext catalogue
// "marquill" on Linux, used as written elsewhere; Fill puts values into them.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// Marks a text for translation where it is written; _() translates it
// where it is shown.
#define N_(Text) Text

#ifdef _WIN32
inline const char* _(const char* Text) { return Text; }
#else
#include <libintl.h>
inline const char* _(const char* Text) { return dgettext("marquill", Text); }
#endif

// Template with "%s" placeholders, filled in order, or "%N$s" (N from 1) for
// translations that reorder them; "%%" is a percent sign.
std::string Fill(std::string_view Template, std::initializer_list<std::string_view> Values);

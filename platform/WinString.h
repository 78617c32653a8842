// UTF-16 strings handed to the Windows API, whose wchar_t is 16-bit there.
#pragma once

#ifdef _WIN32
#include <string>

// The string as a NUL-terminated wide string for a Windows call.
inline const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
inline const wchar_t* W(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
#endif

// Text from outside (a path, a device's name) in the ANSI code page, only
// where the conversion keeps every character. The platform's own ANSI
// calls convert by "best fit": a Greek Omega becomes an O, so C:\<Omega>temp
// reads as C:\Otemp, another folder, and a name can come to match another.
#pragma once

#include <windows.h>

#include <cstddef>

namespace win {

// False, and `out` empty, when any character would be replaced or does not
// fit `capacity` bytes (terminator included).
inline bool ToAnsiExactly(const wchar_t* text, char* out, int capacity) {
  if (capacity <= 0) return false;
  // A UTF-8 code page holds every character, and takes neither the flag nor
  // the question about a default character.
  const bool utf8 = GetACP() == CP_UTF8;
  BOOL replaced = FALSE;
  if (WideCharToMultiByte(CP_ACP, utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS, text, -1, out,
                          capacity, nullptr, utf8 ? nullptr : &replaced) != 0 &&
      !replaced) {
    return true;
  }
  out[0] = '\0';
  return false;
}

template <std::size_t N>
bool ToAnsiExactly(const wchar_t* text, char (&out)[N]) {
  return ToAnsiExactly(text, out, static_cast<int>(N));
}

}  // namespace win

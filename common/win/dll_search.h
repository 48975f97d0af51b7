// Where a program looks for the DLLs it loads by name after its start: the
// system folder only. A program started from a folder others can write to
// (Downloads, a share, a stick), often elevated, would otherwise load a DLL
// planted beside it under a system DLL's name: its own folder comes first
// in the platform's search. The entry point of such a program calls
// RestrictDllSearch before the C runtime runs (startup.cpp).
#pragma once

#include <windows.h>

#include <cstddef>

namespace win {

// What a window or a shell call loads by name: uxtheme, and dwmapi as its
// import. Where the platform lacks SetDefaultDllDirectories (Windows 7
// without its 2011 update), the current folder leaves the search and these
// are loaded by their full System32 path, so later loads by name find them
// loaded; they stay loaded for the process's life.
inline void RestrictDllSearch() {
  static const wchar_t* const kPreload[] = {L"uxtheme.dll", L"dwmapi.dll"};
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  // Looked up at run time so that a system without it still starts.
  const auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")));
  if (setDefault != nullptr && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32)) return;

  SetDllDirectoryW(L"");
  wchar_t path[MAX_PATH];
  const UINT folder = GetSystemDirectoryW(path, MAX_PATH);
  if (folder == 0 || folder >= MAX_PATH) return;
  for (const wchar_t* name : kPreload) {
    std::size_t length = 0;
    while (name[length] != L'\0') ++length;
    if (folder + 1 + length >= MAX_PATH) continue;
    path[folder] = L'\\';
    for (std::size_t i = 0; i <= length; ++i) path[folder + 1 + i] = name[i];
    // Its own imports are then looked for beside it, in System32.
    LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  }
}

}  // namespace win

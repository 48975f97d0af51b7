// Driving another process's dialogs from a test: finding its windows and
// message boxes, reading controls, clicking buttons without blocking.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rig {

// A visible dialog of process `pid` with this caption (message boxes not
// included), or null after `ms`.
HWND WaitForDialog(DWORD pid, const std::string& caption, DWORD ms = 10000);
// A visible message box of process `pid`, or null after `ms`.
HWND WaitForMessageBox(DWORD pid, DWORD ms = 10000);
// Any visible top-level window of `pid` right now (dialog or message box).
bool HasVisibleWindow(DWORD pid);

// Texts are asked of the window's process, which has a generous but bounded
// time to answer; "<no answer>" stands for a text it did not give.
std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
std::string MessageBoxText(HWND box);
std::vector<std::string> ListBoxItems(HWND dialog, int id);

// Posted, so a handler that blocks (a message box, a running installer)
// does not block the test.
void PostClick(HWND dialog, int id);
void DismissMessageBox(HWND box);

// Polls `done` every 20 ms until it holds or `ms` passed.
template <typename Predicate>
bool WaitUntil(Predicate done, DWORD ms = 10000) {
  for (DWORD waited = 0;; waited += 20) {
    if (done()) return true;
    if (waited >= ms) return false;
    Sleep(20);
  }
}

}  // namespace rig

#include "dialog_driver.h"

namespace rig {

namespace {

constexpr int kMessageBoxText = 0xFFFF;

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr,
                                    0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.c_str(), static_cast<int>(wide.size()), &text[0], n, nullptr,
                      nullptr);
  return text;
}

// How long one message to another process's window may take to be answered:
// far more than a busy dialog on a slow host needs, but not for ever.
constexpr UINT kReplyMs = 30000;

bool Ask(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* reply) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, kReplyMs, &result))
    return false;
  *reply = static_cast<LRESULT>(result);
  return true;
}

// The caption as the system keeps it, read without a message: a dialog that
// shows itself while it is still being set up answers none until it is done.
std::string Caption(HWND window) {
  wchar_t text[256] = L"";
  return Narrow(std::wstring(text, static_cast<size_t>(GetWindowTextW(window, text, 256))));
}

bool IsDialogClass(HWND window) {
  char name[16] = "";
  GetClassNameA(window, name, sizeof name);
  return lstrcmpA(name, "#32770") == 0;
}

BOOL CALLBACK CountTextStatics(HWND child, LPARAM param) {
  if ((GetDlgCtrlID(child) & 0xFFFF) == kMessageBoxText) ++*reinterpret_cast<int*>(param);
  return TRUE;
}

// A message box has exactly one static with the id 0xFFFF, its text; a
// dialog's unnamed labels share that id, so one alone is not enough.
bool IsMessageBox(HWND window) {
  int statics = 0;
  EnumChildWindows(window, CountTextStatics, reinterpret_cast<LPARAM>(&statics));
  return statics == 1;
}

struct Search {
  DWORD pid;
  int kind;  // 0 dialog, 1 message box, 2 either
  const std::string* caption;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<Search*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != search->pid || !IsWindowVisible(window) || !IsDialogClass(window)) return TRUE;
  const bool box = IsMessageBox(window);
  if ((search->kind == 0 && box) || (search->kind == 1 && !box)) return TRUE;
  if (search->caption != nullptr && Caption(window) != *search->caption) return TRUE;
  search->found = window;
  return FALSE;
}

HWND Find(DWORD pid, int kind, const std::string* caption) {
  Search search{pid, kind, caption, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

HWND WaitForDialog(DWORD pid, const std::string& caption, DWORD ms) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = Find(pid, 0, &caption)) != nullptr; }, ms);
  return found;
}

HWND WaitForMessageBox(DWORD pid, DWORD ms) {
  HWND found = nullptr;
  WaitUntil([&] { return (found = Find(pid, 1, nullptr)) != nullptr; }, ms);
  return found;
}

bool HasVisibleWindow(DWORD pid) { return Find(pid, 2, nullptr) != nullptr; }

std::string WindowText(HWND window) {
  // Cross-process text comes back as UTF-16 whatever the caller asked.
  LRESULT length = 0;
  if (!Ask(window, WM_GETTEXTLENGTH, 0, 0, &length) || length < 0) return "<no answer>";
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  LRESULT got = 0;
  if (!Ask(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]), &got) || got < 0)
    return "<no answer>";
  text.resize(static_cast<size_t>(got));
  return Narrow(text);
}

std::string ItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item != nullptr ? WindowText(item) : std::string();
}

std::string MessageBoxText(HWND box) { return ItemText(box, kMessageBoxText); }

std::vector<std::string> ListBoxItems(HWND dialog, int id) {
  std::vector<std::string> items;
  HWND list = GetDlgItem(dialog, id);
  if (list == nullptr) return items;
  LRESULT count = 0;
  if (!Ask(list, LB_GETCOUNT, 0, 0, &count)) return {"<no answer>"};
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = 0, got = 0;
    if (!Ask(list, LB_GETTEXTLEN, i, 0, &length) || length < 0) {
      items.push_back("<no answer>");
      break;
    }
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    if (!Ask(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(&text[0]), &got)) {
      items.push_back("<no answer>");
      break;
    }
    text.resize(got < 0 ? 0 : static_cast<size_t>(got));
    items.push_back(Narrow(text));
  }
  return items;
}

void PostClick(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void DismissMessageBox(HWND box) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0); }

}  // namespace rig

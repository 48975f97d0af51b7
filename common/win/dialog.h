// A dialog from a template, wired by a message map: a static table from
// (message, control id, notification) to a handler method, walked by one
// small dialog procedure, in the manner of the classic dialog frameworks.
#pragma once

#include <windows.h>

#include <cstddef>

namespace win {

template <class T>
struct MessageMapEntry {
  UINT message;            // the window message; ignored when `registered` is set
  const UINT* registered;  // a registered message, its id read at dispatch
  UINT id;                 // for WM_COMMAND: the control id
  UINT code;               // for WM_COMMAND: the notification code
  LRESULT (T::*handler)(WPARAM, LPARAM);
  void (T::*command)();  // used instead of `handler` when set: a plain command
};

// Entries for the table, named as the frameworks name them.
template <class T>
constexpr MessageMapEntry<T> OnMessage(UINT message, LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {message, nullptr, 0, 0, handler, nullptr};
}
template <class T>
constexpr MessageMapEntry<T> OnRegisteredMessage(const UINT* id,
                                                 LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {0, id, 0, 0, handler, nullptr};
}
template <class T>
constexpr MessageMapEntry<T> OnButtonClicked(UINT id, LRESULT (T::*handler)(WPARAM, LPARAM)) {
  return {WM_COMMAND, nullptr, id, BN_CLICKED, handler, nullptr};
}
// A click bound to a handler that takes and returns nothing.
template <class T>
constexpr MessageMapEntry<T> OnButtonClicked(UINT id, void (T::*command)()) {
  return {WM_COMMAND, nullptr, id, BN_CLICKED, nullptr, command};
}

// T supplies `static const MessageMapEntry<T> kMessageMap[]` and may override
// OnInitDialog, OnOK and OnCancel (found by name, not virtually).
template <class T>
class CDialogImpl {
 public:
  explicit CDialogImpl(UINT templateId) : m_nTemplateId(templateId) {}
  CDialogImpl(const CDialogImpl&) = delete;
  CDialogImpl& operator=(const CDialogImpl&) = delete;

  INT_PTR DoModal(HWND parent = nullptr) {
    return DialogBoxParamA(Instance(), MAKEINTRESOURCEA(m_nTemplateId), parent, DialogProc,
                           reinterpret_cast<LPARAM>(static_cast<T*>(this)));
  }

  // Modeless; the window exists when this returns non-null.
  HWND Create(HWND parent = nullptr) {
    return CreateDialogParamA(Instance(), MAKEINTRESOURCEA(m_nTemplateId), parent, DialogProc,
                              reinterpret_cast<LPARAM>(static_cast<T*>(this)));
  }

  HWND GetSafeHwnd() const { return m_hWnd; }

 protected:
  ~CDialogImpl() = default;

  static HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

  BOOL OnInitDialog() { return TRUE; }
  void OnOK() { EndDialog(m_hWnd, IDOK); }
  void OnCancel() { EndDialog(m_hWnd, IDCANCEL); }
  // Called once the window is gone; the last thing the procedure does with `this`.
  void PostNcDestroy() {}

  HWND m_hWnd = nullptr;

 private:
  static bool Matches(const MessageMapEntry<T>& e, UINT message, WPARAM wParam) {
    const UINT wanted = e.registered ? *e.registered : e.message;
    if (wanted == 0 || wanted != message) return false;
    if (message != WM_COMMAND) return true;
    return LOWORD(wParam) == e.id && HIWORD(wParam) == e.code;
  }

  // Messages whose result a dialog procedure returns directly.
  static bool ReturnsDirectly(UINT message) {
    return message == WM_QUERYDRAGICON || message == WM_CTLCOLORDLG ||
           message == WM_CTLCOLORSTATIC || message == WM_CTLCOLOREDIT ||
           message == WM_CTLCOLORBTN || message == WM_CTLCOLORLISTBOX;
  }

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    T* self;
    if (message == WM_INITDIALOG) {
      self = reinterpret_cast<T*>(lParam);
      self->m_hWnd = hwnd;
      SetWindowLongPtrA(hwnd, GWLP_USERDATA, lParam);
      return self->OnInitDialog();
    }
    self = reinterpret_cast<T*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self == nullptr) return FALSE;

    for (const auto& entry : T::kMessageMap) {
      if (!Matches(entry, message, wParam)) continue;
      LRESULT result = 0;
      if (entry.command != nullptr) {
        (self->*entry.command)();
      } else {
        result = (self->*entry.handler)(wParam, lParam);
      }
      if (ReturnsDirectly(message)) return static_cast<INT_PTR>(result);
      SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, result);
      return TRUE;
    }

    switch (message) {
      case WM_COMMAND:
        if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) {
          self->OnOK();
          return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
          self->OnCancel();
          return TRUE;
        }
        break;
      case WM_NCDESTROY:
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->m_hWnd = nullptr;
        self->PostNcDestroy();
        return FALSE;
      default:
        break;
    }
    return FALSE;
  }

  UINT m_nTemplateId;
};

// Paints the icon centred while the window is minimised; otherwise the
// default painting. Both dialog programs share this boilerplate.
inline void PaintIconWhenMinimised(HWND hwnd, HICON icon) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  if (IsIconic(hwnd)) {
    SendMessageA(hwnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    RECT rect;
    GetClientRect(hwnd, &rect);
    const int x = (rect.right - rect.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
    const int y = (rect.bottom - rect.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
    DrawIcon(dc, x, y, icon);
  }
  EndPaint(hwnd, &ps);
}

}  // namespace win

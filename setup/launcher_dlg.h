// The launcher's application and its one dialog. All work happens in the
// dialog's initialisation or behind its two buttons.
#pragma once

#include <windows.h>

#include "common/win/dialog.h"
#include "common/win/unique.h"
#include "core/launcher_options.h"
#include "resource.h"

// The list box bound to the device list control.
class CListBox {
 public:
  void Attach(HWND hwnd) { m_hWnd = hwnd; }
  void ResetContent() { SendMessageA(m_hWnd, LB_RESETCONTENT, 0, 0); }
  void AddString(const char* text) {
    SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
  }
  // Off while refilling: otherwise every added line redraws the scroll bar.
  void SetRedraw(bool on) {
    SendMessageA(m_hWnd, WM_SETREDRAW, on ? TRUE : FALSE, 0);
    if (on) InvalidateRect(m_hWnd, nullptr, TRUE);
  }

 private:
  HWND m_hWnd = nullptr;
};

class CLauncherDlg : public win::CDialogImpl<CLauncherDlg> {
 public:
  CLauncherDlg();

  // What the process ends with (core::LauncherExitCode).
  unsigned long ExitCode() const;

  static const win::MessageMapEntry<CLauncherDlg> kMessageMap[4];

 private:
  friend class win::CDialogImpl<CLauncherDlg>;

  BOOL OnInitDialog();
  LRESULT OnPaint(WPARAM, LPARAM);
  LRESULT OnQueryDragIcon(WPARAM, LPARAM);

  void ShowMessage(const char* text);
  // Shows `text` (unless quiet) and keeps the outcome for a silent caller.
  void Report(const char* text, core::LauncherOutcome outcome, unsigned long code = 0);
  void ScanModules();
  void OnExtract();
  bool RunProgram(char* commandLine, const char* directory, const char* path);

  // What the extraction has to undo: the written file and its guard handle.
  bool WritePayload(const void* bytes, DWORD size, const char* path, win::unique_handle* guard);

  const char* m_pszCmdLine = nullptr;
  char m_strOption[core::kOptionArea];
  BOOL m_bQuiet = FALSE;
  BOOL m_bDiagnostic = FALSE;
  BOOL m_bModuleA = FALSE;
  BOOL m_bModuleB = FALSE;
  CListBox m_listDevices;
  HICON m_hIcon = nullptr;
  PROCESS_INFORMATION m_processInfo{};
  core::LauncherResult m_result{core::LauncherOutcome::NoModule, 0};
};

class CLauncherApp {
 public:
  // Runs the dialog; false: there is no message loop to run afterwards.
  BOOL InitInstance();
  // The process's exit code, as the dialog left it.
  int ExitInstance() const { return static_cast<int>(m_nExitCode); }

 private:
  unsigned long m_nExitCode = 0;
};

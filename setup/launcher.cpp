// setup: finds the attached camera module, writes the matching installer to
// a fresh folder of its own in the temp folder, runs it and deletes it. "-s"
// runs silently, "-d" shows the diagnostic dialog instead of doing anything
// by itself.
#include "launcher_dlg.h"

namespace {

constexpr char kInstanceMutex[] = "Korvel_Share";

// Held until the process ends, so a second launcher cannot start a second
// installer while ours runs.
win::unique_mutex g_instanceMutex;

// The executable's base name, as message box caption.
void ProgramName(char (&name)[MAX_PATH]) {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    lstrcpynA(name, "setup", MAX_PATH);
    return;
  }
  const char* base = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/') base = p + 1;
  }
  lstrcpynA(name, base, MAX_PATH);
  char* dot = nullptr;
  for (char* p = name; *p != '\0'; ++p) {
    if (*p == '.') dot = p;
  }
  if (dot != nullptr && dot != name) *dot = '\0';
}

}  // namespace

const win::MessageMapEntry<CLauncherDlg> CLauncherDlg::kMessageMap[4] = {
    win::OnMessage(WM_PAINT, &CLauncherDlg::OnPaint),
    win::OnMessage(WM_QUERYDRAGICON, &CLauncherDlg::OnQueryDragIcon),
    win::OnButtonClicked(IDC_EXTRACT, &CLauncherDlg::OnExtract),
    win::OnButtonClicked(IDC_ENUM, &CLauncherDlg::ScanModules),
};

CLauncherDlg::CLauncherDlg() : CDialogImpl(IDD_LAUNCHER) {
  m_strOption[0] = '\0';
  m_hIcon = LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
}

BOOL CLauncherDlg::OnInitDialog() {
  m_pszCmdLine = GetCommandLineA();
  SetDlgItemTextA(m_hWnd, IDC_EDIT_CMD, m_pszCmdLine);
  const core::LaunchMode mode = core::ChooseLaunchMode(m_pszCmdLine, m_strOption);

  m_bDiagnostic = FALSE;
  m_bQuiet = FALSE;
  m_processInfo.hProcess = nullptr;

  SetWindowPos(m_hWnd, HWND_BOTTOM, -1, -1, -1, -1, SWP_HIDEWINDOW);
  if (mode == core::LaunchMode::Silent) {
    SetDlgItemTextA(m_hWnd, IDC_EDIT_OPTION, m_strOption);
    m_bQuiet = TRUE;
  } else if (mode == core::LaunchMode::Diagnostic) {
    m_bDiagnostic = TRUE;
    m_bQuiet = TRUE;
    SetWindowPos(m_hWnd, HWND_TOPMOST, 0, 0, 600, 500, SWP_SHOWWINDOW);
  }

  m_listDevices.Attach(GetDlgItem(m_hWnd, IDC_DEVICES));
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

  bool another;
  {
    const win::unique_mutex running(OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kInstanceMutex));
    another = static_cast<bool>(running);
  }
  if (!another) {
    g_instanceMutex.reset(CreateMutexA(nullptr, FALSE, kInstanceMutex));
    // A launcher that created it between our open and create counts too.
    another = GetLastError() == ERROR_ALREADY_EXISTS;
  }
  if (another) {
    Report("Application is already running", core::LauncherOutcome::AlreadyRunning);
    ExitProcess(ExitCode());
  }

  if (!m_bDiagnostic) {
    OnExtract();
    OnCancel();
  }
  return TRUE;
}

LRESULT CLauncherDlg::OnPaint(WPARAM, LPARAM) {
  win::PaintIconWhenMinimised(m_hWnd, m_hIcon);
  return 0;
}

LRESULT CLauncherDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }

void CLauncherDlg::ShowMessage(const char* text) {
  if (m_bQuiet) return;
  char caption[MAX_PATH];
  ProgramName(caption);
  MessageBoxA(m_hWnd, text, caption, MB_OK);
}

void CLauncherDlg::Report(const char* text, core::LauncherOutcome outcome, unsigned long code) {
  m_result = {outcome, code};
  ShowMessage(text);
}

unsigned long CLauncherDlg::ExitCode() const {
  const core::LaunchMode mode = m_bDiagnostic ? core::LaunchMode::Diagnostic
                                : m_bQuiet    ? core::LaunchMode::Silent
                                              : core::LaunchMode::Default;
  return core::LauncherExitCode(mode, m_result);
}

BOOL CLauncherApp::InitInstance() {
  CLauncherDlg dlg;
  dlg.DoModal();
  m_nExitCode = dlg.ExitCode();
  return FALSE;
}

// The DLL search is restricted to the system folder before this runs (the
// entry point, SYSTEM_DLLS_ONLY): setup.exe is started from Downloads
// folders and shares, often elevated, and its dialog loads uxtheme by name.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  CLauncherApp app;
  app.InitInstance();
  return app.ExitInstance();
}

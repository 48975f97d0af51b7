// rotasync: keeps the camera image turned with the display. A hidden dialog
// is the message target; at start, on every display change and on
// "RotateNotify" it reads the display orientation and delivers the code.
#include <windows.h>

#include "common/win/dialog.h"
#include "common/win/unique.h"
#include "core/rotation.h"
#include "rotasync/resource.h"
#include "rotasync/rotation_property.h"
#include "rotasync/watcher.h"

UINT g_nRotateNotifyMsg = RegisterWindowMessageA("RotateNotify");

namespace {

constexpr char kMutexName[] = "{0E3FC548-BFF1-43ea-B743-BC50EA382204}";

class COrientationDlg final : public win::CDialogImpl<COrientationDlg> {
 public:
  COrientationDlg()
      : CDialogImpl(IDD_ROTASYNC_DIALOG),
        m_hRotateEvent(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        m_hIcon(LoadIconA(Instance(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

  // From the process heap: the library's allocator would link in the
  // exception machinery, which this program never uses.
  static void* operator new(size_t size) noexcept { return HeapAlloc(GetProcessHeap(), 0, size); }
  static void operator delete(void* p) noexcept { HeapFree(GetProcessHeap(), 0, p); }

  int SyncWithDisplay();
  int ApplyRotation();

  static const win::MessageMapEntry<COrientationDlg> kMessageMap[9];

 private:
  friend class win::CDialogImpl<COrientationDlg>;

  BOOL OnInitDialog();
  void OnOK() { DestroyWindow(m_hWnd); }
  void PostNcDestroy() {
    // The main window is gone: leave the message loop.
    PostQuitMessage(0);
    delete this;
  }

  void DoDataExchange(bool save);

  LRESULT OnRotateNotify(WPARAM, LPARAM) {
    SyncWithDisplay();
    return 0;
  }
  LRESULT OnPaint(WPARAM, LPARAM) {
    win::PaintIconWhenMinimised(m_hWnd, m_hIcon);
    return 0;
  }
  LRESULT OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(m_hIcon); }
  LRESULT OnDisplayChange(WPARAM, LPARAM) {
    SyncWithDisplay();
    return 0;
  }
  LRESULT OnRadioClicked(WPARAM, LPARAM) {
    ApplyRotation();
    return 0;
  }
  LRESULT OnClose(WPARAM, LPARAM) {
    DestroyWindow(m_hWnd);
    return 0;
  }

  win::unique_event m_hRotateEvent;
  int m_nRotation = 0;
  HICON m_hIcon;
};

const win::MessageMapEntry<COrientationDlg> COrientationDlg::kMessageMap[9] = {
    win::OnRegisteredMessage(&g_nRotateNotifyMsg, &COrientationDlg::OnRotateNotify),
    win::OnMessage(WM_PAINT, &COrientationDlg::OnPaint),
    win::OnMessage(WM_QUERYDRAGICON, &COrientationDlg::OnQueryDragIcon),
    win::OnMessage(WM_DISPLAYCHANGE, &COrientationDlg::OnDisplayChange),
    win::OnButtonClicked(IDC_RADIO_0, &COrientationDlg::OnRadioClicked),
    win::OnMessage(WM_CLOSE, &COrientationDlg::OnClose),
    win::OnButtonClicked(IDC_RADIO_180, &COrientationDlg::OnRadioClicked),
    win::OnButtonClicked(IDC_RADIO_270, &COrientationDlg::OnRadioClicked),
    win::OnButtonClicked(IDC_RADIO_90, &COrientationDlg::OnRadioClicked),
};

// The radio group's whole data exchange: index of the checked button, -1
// for none.
void COrientationDlg::DoDataExchange(bool save) {
  if (save) {
    m_nRotation = core::kNoRadio;
    for (int i = 0; i < core::kRadioCount; ++i)
      if (IsDlgButtonChecked(m_hWnd, IDC_RADIO_0 + i) == BST_CHECKED) m_nRotation = i;
    return;
  }
  for (int i = 0; i < core::kRadioCount; ++i)
    CheckDlgButton(m_hWnd, IDC_RADIO_0 + i, i == m_nRotation ? BST_CHECKED : BST_UNCHECKED);
}

BOOL COrientationDlg::OnInitDialog() {
  SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
  SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
  SyncWithDisplay();
  // Without a watcher the monitor still follows display changes.
  if (m_hRotateEvent) StartSnapshotWatcher(m_hWnd, m_hRotateEvent.get());
  return TRUE;
}

int COrientationDlg::SyncWithDisplay() {
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = sizeof mode;
  mode.dmFields = DM_DISPLAYORIENTATION;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return 0;
  m_nRotation = core::RadioIndexForOrientation(mode.dmDisplayOrientation, m_nRotation);
  DoDataExchange(false);
  return ApplyRotation();
}

int COrientationDlg::ApplyRotation() {
  DoDataExchange(true);
  const LONG code = core::RotationCodeForIndex(m_nRotation);
  if (code == 0) return 0;
  return SetRotationProperty(core::kRotationPropertyId, code);
}

// COM lives exactly as long as this object; it is a local of WinMain so that
// every interface is gone before COM is uninitialised.
class COrientationApp {
 public:
  COrientationApp() { CoInitialize(nullptr); }
  ~COrientationApp() { CoUninitialize(); }
  COrientationApp(const COrientationApp&) = delete;
  COrientationApp& operator=(const COrientationApp&) = delete;

  bool InitInstance();
  int Run();

 private:
  win::unique_mutex m_singleInstance;  // owned until the process ends
};

bool COrientationApp::InitInstance() {
  m_singleInstance.reset(CreateMutexA(nullptr, TRUE, kMutexName));
  if (!m_singleInstance || GetLastError() == ERROR_ALREADY_EXISTS) return false;

  COrientationDlg* dialog = new COrientationDlg;
  if (dialog == nullptr) return false;
  // A dialog that never got a window would leave a message loop with nothing
  // to serve, holding the mutex; end instead.
  if (dialog->Create() == nullptr) {
    delete dialog;
    return false;
  }
  return true;
}

int COrientationApp::Run() {
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  return 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  COrientationApp app;
  if (!app.InitInstance()) return 0;
  return app.Run();
}

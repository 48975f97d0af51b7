// The floors the monitor's delivery is measured against, written bare: plain
// Win32 and COM calls, nothing of the programs' own code.
//   sync_floor.exe bare|mandated SETTINGS_KEY
// bare: the device search and property call alone (FriendlyName compared
// with a constant). mandated: everything a sync must do, in the same order:
// the display query, the radio buttons set and read back, the device search
// with the driver description looked up for every named device, the property
// call and the 10 ms pause. Built as sync_floor_manifest.exe it carries
// rotasync's manifest, and its radio buttons are what that makes them.
// Triggered like the monitor: a "RotateNotify" message to its hidden window,
// or SnapShotState set to 2 in SETTINGS_KEY.
#include <windows.h>

#include <dshow.h>

#include <cstdio>
#include <cstring>

#include "bench.h"
#include "common/win/unique.h"

namespace {

#ifdef BINDORA_FLOOR_MANIFEST
constexpr const char* kMandatedCaption = bench::kManifestFloorCaption;
#else
constexpr const char* kMandatedCaption = bench::kMandatedFloorCaption;
#endif

UINT g_rotateNotify = 0;
bool g_mandated = false;
int g_radio = 0;

constexpr int kFirstRadio = 1000;
constexpr DWORD kPropertyId = 21;
// {F1CAFC1D-D7D6-400F-A7FD-96715E0BD959}, the camera's rotation property set.
constexpr GUID kRotationSet = {
    0xF1CAFC1D, 0xD7D6, 0x400F, {0xA7, 0xFD, 0x96, 0x71, 0x5E, 0x0B, 0xD9, 0x59}};

struct WatchTarget {
  HWND window;
  HKEY settings;
  HANDLE event;
};

// "DriverDesc" of the first existing instance, as the monitor finds it.
void LookUpDescription(char (&description)[256]) {
  DWORD mask = 0x20019;
  {
    win::unique_hkey probe;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node", 0, 0x20119, probe.put()) ==
        ERROR_SUCCESS)
      mask = 0x20119;
  }
  win::unique_hkey driver;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\VELTRA\\ZADAZ\\QV7DRV", 0, mask, driver.put()) !=
      ERROR_SUCCESS)
    return;
  DWORD count = 0, size = sizeof count;
  RegQueryValueExA(driver.get(), "InstanceIndex", nullptr, nullptr, reinterpret_cast<BYTE*>(&count),
                   &size);
  for (DWORD i = 1; i <= count; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "ii%04lu", static_cast<unsigned long>(i));
    char path[260];
    path[0] = '\0';
    size = sizeof path;
    if (RegQueryValueExA(driver.get(), name, nullptr, nullptr, reinterpret_cast<BYTE*>(path),
                         &size) != ERROR_SUCCESS)
      continue;
    path[sizeof path - 1] = '\0';
    if (path[0] != '\0') {
      const char* start = std::strstr(path, "\\Registry\\MACHINE\\");
      start = start ? start + 18 : path;
      const char* end = std::strstr(start, "\\Settings");
      size_t length = end ? static_cast<size_t>(end - start) : std::strlen(start);
      if (length > 255) length = 255;
      char deviceKey[256];
      std::memcpy(deviceKey, start, length);
      deviceKey[length] = '\0';
      win::unique_hkey device;
      if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, deviceKey, 0, KEY_READ, device.put()) != ERROR_SUCCESS)
        return;
      size = sizeof description;
      RegQueryValueExA(device.get(), "DriverDesc", nullptr, nullptr,
                       reinterpret_cast<BYTE*>(description), &size);
      description[sizeof description - 1] = '\0';
    }
    return;
  }
}

bool IsCamera(IMoniker* moniker) {
  win::com_ptr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())) || !bag)
    return false;
  VARIANT name;
  VariantInit(&name);
  name.vt = VT_BSTR;
  bool match = false;
  if (bag->Read(L"FriendlyName", &name, nullptr) == S_OK && name.vt == VT_BSTR && name.bstrVal) {
    if (g_mandated) {
      char description[256] = "";
      LookUpDescription(description);
      wchar_t wide[120];
      lstrcpynW(wide, name.bstrVal, 120);
      char ansi[80] = "";
      // Exactly, as the monitor must: no best fit, no default character.
      BOOL replaced = FALSE;
      WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, wide, -1, ansi, sizeof ansi, nullptr,
                          &replaced);
      ansi[sizeof ansi - 1] = '\0';
      match = !replaced && description[0] != '\0' && std::strncmp(description, ansi, 24) == 0;
    } else {
      wchar_t wanted[64];
      MultiByteToWideChar(CP_ACP, 0, bench::kCamera, -1, wanted, 64);
      match = lstrcmpW(name.bstrVal, wanted) == 0;
    }
  }
  VariantClear(&name);
  return match;
}

// The camera's filter, everything else of the search released.
win::com_ptr<IBaseFilter> FindFilter() {
  win::com_ptr<IBaseFilter> filter;
  win::com_ptr<IEnumMoniker> monikers;
  {
    win::com_ptr<ICreateDevEnum> devices;
    if (CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                         devices.put_void()) != S_OK ||
        devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK ||
        !monikers)
      return filter;
  }
  if (g_mandated) monikers->Reset();
  for (;;) {
    win::com_ptr<IMoniker> moniker;
    if (monikers->Next(1, moniker.put(), nullptr) != S_OK || !moniker) return filter;
    if (IsCamera(moniker.get()) &&
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void()) == S_OK &&
        filter)
      return filter;
    filter.reset();
  }
}

// False when no filter was found.
bool Deliver(LONG value) {
  const win::com_ptr<IBaseFilter> filter = FindFilter();
  if (!filter) return false;
  win::com_ptr<IKsPropertySet> properties;
  if (FAILED(filter.query(IID_IKsPropertySet, &properties)) || !properties) return true;
  alignas(8) unsigned char block[304] = {};
  const DWORD head[3] = {kPropertyId, 2, static_cast<DWORD>(value)};
  std::memcpy(block, &kRotationSet, sizeof kRotationSet);
  std::memcpy(block + 16, head, sizeof head);
  properties->Set(kRotationSet, kPropertyId, block, sizeof block, block, sizeof block);
  return true;
}

void Sync(HWND window) {
  if (!g_mandated) {
    Deliver(1);
    return;
  }
  DEVMODEA mode;
  ZeroMemory(&mode, sizeof mode);
  mode.dmSize = sizeof mode;
  mode.dmFields = DM_DISPLAYORIENTATION;
  if (!EnumDisplaySettingsA(nullptr, ENUM_CURRENT_SETTINGS, &mode)) return;
  static const int kRadioFor[4] = {0, 3, 2, 1};
  if (mode.dmDisplayOrientation < 4) g_radio = kRadioFor[mode.dmDisplayOrientation];
  for (int i = 0; i < 4; ++i)
    CheckDlgButton(window, kFirstRadio + i, i == g_radio ? BST_CHECKED : BST_UNCHECKED);
  g_radio = -1;
  for (int i = 0; i < 4; ++i)
    if (IsDlgButtonChecked(window, kFirstRadio + i) == BST_CHECKED) g_radio = i;
  if (g_radio < 0) return;
  if (Deliver(g_radio + 1)) Sleep(10);
}

DWORD WINAPI Watch(LPVOID parameter) {
  const WatchTarget* target = static_cast<const WatchTarget*>(parameter);
  for (;;) {
    ResetEvent(target->event);
    if (RegNotifyChangeKeyValue(target->settings, TRUE, REG_NOTIFY_CHANGE_LAST_SET, target->event,
                                TRUE) != ERROR_SUCCESS ||
        WaitForSingleObject(target->event, INFINITE) != WAIT_OBJECT_0)
      return 0;
    DWORD state = 0, size = sizeof state;
    if (RegQueryValueExA(target->settings, "SnapShotState", nullptr, nullptr,
                         reinterpret_cast<BYTE*>(&state), &size) == ERROR_SUCCESS &&
        state == 2)
      PostMessageA(target->window, g_rotateNotify, 0, 0);
  }
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == g_rotateNotify && message != 0) {
    Sync(window);
    return 0;
  }
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  g_rotateNotify = RegisterWindowMessageA("RotateNotify");
  const char* settingsPath = std::strchr(commandLine, ' ');
  if (settingsPath == nullptr) return 2;
  g_mandated = std::strncmp(commandLine, "mandated ", 9) == 0;
  ++settingsPath;
  if (FAILED(CoInitialize(nullptr))) return 1;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "BindoraSyncFloor";
  const HWND window =
      RegisterClassA(&windowClass)
          ? CreateWindowExA(0, windowClass.lpszClassName,
                            g_mandated ? kMandatedCaption : bench::kBareFloorCaption, WS_OVERLAPPED,
                            0, 0, 100, 100, nullptr, nullptr, instance, nullptr)
          : nullptr;
  if (window == nullptr) {
    CoUninitialize();
    return 1;
  }
  // The monitor's radio group, as its dialog template makes it.
  static const char* const kCaptions[4] = {"0 degree", "90 degree", "180 degree", "270 degree"};
  for (int i = 0; g_mandated && i < 4; ++i)
    CreateWindowExA(0, "BUTTON", kCaptions[i],
                    WS_CHILD | WS_VISIBLE | BS_AUTORADIOBUTTON | (i == 0 ? WS_GROUP : 0), 0, i * 12,
                    60, 10, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstRadio + i)),
                    instance, nullptr);

  win::unique_hkey settings;
  win::unique_event changed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  WatchTarget target{window, nullptr, changed.get()};
  win::unique_handle watcher;
  if (changed && RegOpenKeyExA(HKEY_LOCAL_MACHINE, settingsPath, 0, KEY_READ, settings.put()) ==
                     ERROR_SUCCESS) {
    target.settings = settings.get();
    watcher.reset(CreateThread(nullptr, 0, Watch, &target, 0, nullptr));
  }

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  CoUninitialize();
  // The watcher may still wait on the key: the process ends with it.
  ExitProcess(0);
}

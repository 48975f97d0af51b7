// The floor the monitor's delivery is measured against: the bare device
// search and property call, with nothing else around it. Started by the
// benchmark driver; triggered like the monitor (a "RotateNotify" message to
// its hidden window, or SnapShotState set to 2 in the Settings key given on
// the command line).
#include <windows.h>

#include <dshow.h>

#include <cstring>

#include "bench.h"
#include "common/win/unique.h"
#include "core/rotation.h"

namespace {

UINT g_rotateNotify = 0;

struct WatchTarget {
  HWND window;
  HKEY settings;
  HANDLE event;
};

bool IsCamera(IMoniker* moniker) {
  win::com_ptr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())) || !bag)
    return false;
  VARIANT name;
  VariantInit(&name);
  name.vt = VT_BSTR;
  bool match = false;
  if (bag->Read(L"FriendlyName", &name, nullptr) == S_OK && name.vt == VT_BSTR && name.bstrVal) {
    wchar_t wanted[64];
    MultiByteToWideChar(CP_ACP, 0, bench::kCamera, -1, wanted, 64);
    match = lstrcmpW(name.bstrVal, wanted) == 0;
  }
  VariantClear(&name);
  return match;
}

void Deliver() {
  win::com_ptr<ICreateDevEnum> devices;
  win::com_ptr<IEnumMoniker> monikers;
  if (CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                       devices.put_void()) != S_OK ||
      devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK ||
      !monikers)
    return;
  for (;;) {
    win::com_ptr<IMoniker> moniker;
    if (monikers->Next(1, moniker.put(), nullptr) != S_OK || !moniker) return;
    if (!IsCamera(moniker.get())) continue;
    win::com_ptr<IBaseFilter> filter;
    win::com_ptr<IKsPropertySet> properties;
    if (moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, filter.put_void()) != S_OK ||
        !filter || FAILED(filter.query(IID_IKsPropertySet, &properties)) || !properties)
      return;
    core::RotationBlock block = core::BuildRotationBlock(core::kRotationPropertyId, 1);
    GUID set;
    std::memcpy(&set, block.bytes, sizeof set);
    properties->Set(set, core::kRotationPropertyId, block.bytes, sizeof block.bytes, block.bytes,
                    sizeof block.bytes);
    return;
  }
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
    Deliver();
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
  if (FAILED(CoInitialize(nullptr))) return 1;
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "BindoraSyncFloor";
  const HWND window =
      RegisterClassA(&windowClass)
          ? CreateWindowExA(0, windowClass.lpszClassName, bench::kFloorCaption, WS_OVERLAPPED, 0, 0,
                            100, 100, nullptr, nullptr, instance, nullptr)
          : nullptr;
  if (window == nullptr) {
    CoUninitialize();
    return 1;
  }

  // The Settings key's path is the whole command line.
  win::unique_hkey settings;
  win::unique_event changed(CreateEventA(nullptr, TRUE, FALSE, nullptr));
  WatchTarget target{window, nullptr, changed.get()};
  win::unique_handle watcher;
  if (changed && RegOpenKeyExA(HKEY_LOCAL_MACHINE, commandLine, 0, KEY_READ, settings.put()) ==
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

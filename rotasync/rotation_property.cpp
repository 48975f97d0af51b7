#include "rotasync/rotation_property.h"

#include <cstring>

#include "common/driver_registry/driver_registry.h"
#include "common/win/ansi.h"
#include "core/rotation.h"

win::com_ptr<IBaseFilter> g_pCaptureFilter;

namespace {

// A VARIANT cleared on scope exit, so the name string goes with it.
class ScopedVariant {
 public:
  ScopedVariant() { VariantInit(&v_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&v_); }
  VARIANT* get() { return &v_; }

 private:
  VARIANT v_;
};

// The device's friendly name in the ANSI code page, cut to its area.
bool ReadFriendlyName(IMoniker* moniker, char (&name)[core::kFriendlyNameAnsiArea]) {
  win::com_ptr<IPropertyBag> bag;
  if (FAILED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.put_void())) || !bag)
    return false;
  ScopedVariant value;
  value.get()->vt = VT_BSTR;
  if (bag->Read(L"FriendlyName", value.get(), nullptr) != S_OK || value.get()->vt != VT_BSTR)
    return false;

  const BSTR text = value.get()->bstrVal;
  wchar_t wide[core::kFriendlyNameWideArea];
  core::CopyFriendlyName(text, text ? SysStringLen(text) : 0, wide);
  // Room for any code page's longest form of 119 characters. A name that
  // the code page cannot hold matches nothing: by best fit it could come to
  // read as the camera's description and have another device's filter bound.
  char converted[core::kFriendlyNameWideArea * 4];
  if (!win::ToAnsiExactly(wide, converted)) return false;
  core::CutAnsiName(converted, name);
  return true;
}

bool NamesTheCamera(IMoniker* moniker) {
  char name[core::kFriendlyNameAnsiArea];
  if (!ReadFriendlyName(moniker, name)) return false;
  // Read afresh for every device: nothing is cached between devices or runs.
  char description[core::kDescriptionArea] = "";
  driver_registry::GetDriverDescription(description);
  return core::NameMatchesDescription(name, description);
}

}  // namespace

int FindCaptureFilter() {
  win::com_ptr<IEnumMoniker> monikers;
  {
    win::com_ptr<ICreateDevEnum> devices;
    if (CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER, IID_ICreateDevEnum,
                         devices.put_void()) != S_OK ||
        !devices)
      return 0;
    // An empty category answers S_FALSE without an enumerator.
    if (devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0) != S_OK ||
        !monikers)
      return 0;
  }
  monikers->Reset();

  for (;;) {
    win::com_ptr<IMoniker> moniker;
    if (monikers->Next(1, moniker.put(), nullptr) != S_OK || !moniker) return 0;
    if (NamesTheCamera(moniker.get()) &&
        moniker->BindToObject(nullptr, nullptr, IID_IBaseFilter, g_pCaptureFilter.put_void()) ==
            S_OK &&
        g_pCaptureFilter)
      return 1;
    g_pCaptureFilter.reset();
  }
}

int SetRotationProperty(DWORD propertyId, LONG value) {
  int result = 0;
  FindCaptureFilter();
  core::RotationBlock block = core::BuildRotationBlock(propertyId, value);
  if (!g_pCaptureFilter) return -1;

  {
    win::com_ptr<IKsPropertySet> properties;
    if (SUCCEEDED(g_pCaptureFilter.query(IID_IKsPropertySet, &properties)) && properties) {
      GUID set;
      std::memcpy(&set, block.bytes, sizeof set);
      DWORD id;
      std::memcpy(&id, block.bytes + 16, sizeof id);
      if (properties->Set(set, id, block.bytes, sizeof block.bytes, block.bytes,
                          sizeof block.bytes) == S_OK)
        result = 1;
    }
  }
  g_pCaptureFilter.reset();
  // Gives the driver a moment before the next delivery can reach it.
  Sleep(10);
  return result;
}

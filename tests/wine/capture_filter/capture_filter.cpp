// An in-process capture filter for the Wine tests: found by the system device
// enumerator like a camera, it records every property it is sent.
#include <windows.h>

#include <dshow.h>

#include <cstdio>
#include <cstring>

#include "capture_filter.h"

namespace {

enum class Kind { Accepting, Refusing, NoPropertySet };

const GUID kClsids[] = {
    {0xB1D0A7C1, 0x5E2F, 0x4C3A, {0x9D, 0x8E, 0x7F, 0x6A, 0x5B, 0x4C, 0x3D, 0x21}},
    {0xB1D0A7C1, 0x5E2F, 0x4C3A, {0x9D, 0x8E, 0x7F, 0x6A, 0x5B, 0x4C, 0x3D, 0x22}},
    {0xB1D0A7C1, 0x5E2F, 0x4C3A, {0x9D, 0x8E, 0x7F, 0x6A, 0x5B, 0x4C, 0x3D, 0x23}},
};
constexpr HRESULT kPropIdUnsupported = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

LONG g_objects = 0;

void LogPath(char (&path)[MAX_PATH]) {
  const DWORD n = GetEnvironmentVariableA(capture_filter::kLogVariable, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) std::snprintf(path, MAX_PATH, "%s", capture_filter::kDefaultLog);
}

long long NowMs() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  ULARGE_INTEGER t;
  t.LowPart = ft.dwLowDateTime;
  t.HighPart = ft.dwHighDateTime;
  return static_cast<long long>(t.QuadPart / 10000);
}

void AppendLine(const char* line) {
  char path[MAX_PATH];
  LogPath(path);
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(std::strlen(line)), &written, nullptr);
  CloseHandle(file);
}

void AppendHex(char* out, size_t room, const void* data, DWORD length) {
  const unsigned char* bytes = static_cast<const unsigned char*>(data);
  size_t at = std::strlen(out);
  for (DWORD i = 0; data != nullptr && i < length && at + 3 < room; ++i, at += 2)
    std::snprintf(out + at, room - at, "%02X", bytes[i]);
}

class Filter final : public IBaseFilter, public IKsPropertySet, public IPersistPropertyBag {
 public:
  explicit Filter(Kind kind) : kind_(kind) {
    InterlockedIncrement(&g_objects);
    std::snprintf(name_, sizeof name_, "(unnamed)");
  }
  ~Filter() { InterlockedDecrement(&g_objects); }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    *out = nullptr;
    if (iid == IID_IUnknown || iid == IID_IPersist || iid == IID_IMediaFilter ||
        iid == IID_IBaseFilter)
      *out = static_cast<IBaseFilter*>(this);
    else if (iid == IID_IPersistPropertyBag)
      *out = static_cast<IPersistPropertyBag*>(this);
    else if (iid == IID_IKsPropertySet && kind_ != Kind::NoPropertySet)
      *out = static_cast<IKsPropertySet*>(this);
    if (*out == nullptr) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG refs = InterlockedDecrement(&refs_);
    if (refs == 0) delete this;
    return refs;
  }

  // IPersist
  STDMETHODIMP GetClassID(CLSID* clsid) override {
    *clsid = kClsids[static_cast<int>(kind_)];
    return S_OK;
  }

  // IMediaFilter
  STDMETHODIMP Stop() override { return S_OK; }
  STDMETHODIMP Pause() override { return S_OK; }
  STDMETHODIMP Run(REFERENCE_TIME) override { return S_OK; }
  STDMETHODIMP GetState(DWORD, FILTER_STATE* state) override {
    *state = State_Stopped;
    return S_OK;
  }
  STDMETHODIMP SetSyncSource(IReferenceClock*) override { return S_OK; }
  STDMETHODIMP GetSyncSource(IReferenceClock** clock) override {
    *clock = nullptr;
    return S_OK;
  }

  // IBaseFilter
  STDMETHODIMP EnumPins(IEnumPins** pins) override {
    *pins = nullptr;
    return E_NOTIMPL;
  }
  STDMETHODIMP FindPin(LPCWSTR, IPin** pin) override {
    *pin = nullptr;
    return VFW_E_NOT_FOUND;
  }
  STDMETHODIMP QueryFilterInfo(FILTER_INFO* info) override {
    std::memset(info, 0, sizeof *info);
    return S_OK;
  }
  STDMETHODIMP JoinFilterGraph(IFilterGraph*, LPCWSTR) override { return S_OK; }
  STDMETHODIMP QueryVendorInfo(LPWSTR* info) override {
    *info = nullptr;
    return E_NOTIMPL;
  }

  // IKsPropertySet
  STDMETHODIMP Set(REFGUID set, DWORD id, LPVOID instance, DWORD instanceLength, LPVOID data,
                   DWORD dataLength) override {
    const HRESULT result = kind_ == Kind::Refusing ? kPropIdUnsupported : S_OK;
    char line[2048];
    std::snprintf(line, sizeof line,
                  "set\t%s\t{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}\t%lu\t%lu\t%lu\t",
                  name_, static_cast<unsigned long>(set.Data1), set.Data2, set.Data3, set.Data4[0],
                  set.Data4[1], set.Data4[2], set.Data4[3], set.Data4[4], set.Data4[5],
                  set.Data4[6], set.Data4[7], static_cast<unsigned long>(id),
                  static_cast<unsigned long>(instanceLength),
                  static_cast<unsigned long>(dataLength));
    AppendHex(line, sizeof line, instance, instanceLength);
    std::strncat(line, "\t", sizeof line - std::strlen(line) - 1);
    AppendHex(line, sizeof line, data, dataLength);
    const size_t at = std::strlen(line);
    std::snprintf(line + at, sizeof line - at, "\t%08lX\t%lld\n",
                  static_cast<unsigned long>(result), NowMs());
    AppendLine(line);
    return result;
  }
  STDMETHODIMP Get(REFGUID, DWORD, LPVOID, DWORD, LPVOID, DWORD, DWORD*) override {
    return kPropIdUnsupported;
  }
  STDMETHODIMP QuerySupported(REFGUID, DWORD, DWORD* support) override {
    *support = 0;
    return kPropIdUnsupported;
  }

  // IPersistPropertyBag: the enumerator hands over the device's own values.
  STDMETHODIMP InitNew() override { return S_OK; }
  STDMETHODIMP Load(IPropertyBag* bag, IErrorLog*) override {
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    if (SUCCEEDED(bag->Read(L"FriendlyName", &value, nullptr)) && value.vt == VT_BSTR &&
        value.bstrVal != nullptr)
      WideCharToMultiByte(CP_UTF8, 0, value.bstrVal, -1, name_, sizeof name_, nullptr, nullptr);
    name_[sizeof name_ - 1] = '\0';
    VariantClear(&value);
    char line[400];
    std::snprintf(line, sizeof line, "bind\t%s\t%lld\n", name_, NowMs());
    AppendLine(line);
    return S_OK;
  }
  STDMETHODIMP Save(IPropertyBag*, BOOL, BOOL) override { return E_NOTIMPL; }

 private:
  LONG refs_ = 1;
  Kind kind_;
  char name_[300];
};

class Factory final : public IClassFactory {
 public:
  explicit Factory(Kind kind) : kind_(kind) {}
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    Filter* filter = new Filter(kind_);
    const HRESULT hr = filter->QueryInterface(iid, out);
    filter->Release();
    return hr;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  Kind kind_;
};

Factory g_factories[] = {Factory(Kind::Accepting), Factory(Kind::Refusing),
                         Factory(Kind::NoPropertySet)};

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  for (int i = 0; i < 3; ++i)
    if (clsid == kClsids[i]) return g_factories[i].QueryInterface(iid, out);
  *out = nullptr;
  return CLASS_E_CLASSNOTAVAILABLE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }

// Which camera module is attached: the present devices through SetupAPI,
// judged by the rules in core/hardware_id.
#include "launcher_dlg.h"

#include "common/win/unique_devinfo.h"

#include "core/hardware_id.h"
#include "setup_modules.h"

namespace {

struct heap_traits {
  using pointer = void*;
  static pointer invalid() { return nullptr; }
  static bool is_valid(pointer p) { return p != nullptr; }
  static void close(pointer p) { HeapFree(GetProcessHeap(), 0, p); }
};
using unique_heap = win::unique_any<heap_traits>;

// A split multi-string: cell 0 holds the property buffer, freed with it.
struct multi_string_traits {
  using pointer = const char**;
  static pointer invalid() { return nullptr; }
  static bool is_valid(pointer p) { return p != nullptr; }
  static void close(pointer p) {
    HeapFree(GetProcessHeap(), 0, const_cast<char*>(p[0]));
    HeapFree(GetProcessHeap(), 0, p);
  }
};
using unique_multi_string = win::unique_any<multi_string_traits>;

void* Allocate(SIZE_T bytes) { return HeapAlloc(GetProcessHeap(), 0, bytes); }

// One device registry property as a split multi-string; empty when the
// property cannot be read.
unique_multi_string GetDeviceMultiString(HDEVINFO set, SP_DEVINFO_DATA* device, DWORD property) {
  DWORD request = core::kPropertyRequest;
  unique_heap buffer(Allocate(request + core::kPropertySpare));
  if (!buffer) return {};
  DWORD type = 0;
  DWORD required = 0;
  while (!SetupDiGetDeviceRegistryPropertyA(set, device, property, &type,
                                            static_cast<BYTE*>(buffer.get()), request, &required)) {
    // A size that does not grow would ask forever; one near 4 GB would wrap.
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || type != REG_MULTI_SZ ||
        required <= request || required > MAXDWORD - core::kPropertySpare) {
      return {};
    }
    request = required;
    buffer.reset(Allocate(request + core::kPropertySpare));
    if (!buffer) return {};
  }

  char* bytes = static_cast<char*>(buffer.get());
  const SIZE_T capacity = static_cast<SIZE_T>(request) + core::kPropertySpare;
  core::TerminateMultiString(bytes, capacity, required);
  const SIZE_T count = core::CountMultiString(bytes, capacity);
  auto* list = static_cast<const char**>(Allocate((count + 2) * sizeof(const char*)));
  if (list == nullptr) return {};
  core::SplitMultiString(bytes, capacity, list, count);
  buffer.release();  // now owned through list[0]
  return unique_multi_string(list);
}

class PresentDevices final : public core::DeviceSource {
 public:
  bool Open() override {
    set_.reset(SetupDiGetClassDevsExA(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES,
                                      nullptr, nullptr, nullptr));
    return static_cast<bool>(set_);
  }

  bool Device(std::uint32_t index, const char** first) override {
    ids_.reset();
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set_.get(), index, &device)) return false;
    ids_ = GetDeviceMultiString(set_.get(), &device, SPDRP_HARDWAREID);
    *first = ids_ ? ids_.get()[1] : nullptr;
    return true;
  }

  void Close() override {
    ids_.reset();
    set_.reset();
  }

 private:
  win::unique_devinfo set_;
  unique_multi_string ids_;
};

// The list is drawn once, when the scan is over.
class DeviceList final : public core::IdentifierSink {
 public:
  explicit DeviceList(CListBox& list) : list_(list) { list_.SetRedraw(false); }
  ~DeviceList() { list_.SetRedraw(true); }
  DeviceList(const DeviceList&) = delete;
  DeviceList& operator=(const DeviceList&) = delete;
  void Clear() override { list_.ResetContent(); }
  void Add(const char* id) override { list_.AddString(id); }

 private:
  CListBox& list_;
};

}  // namespace

void CLauncherDlg::ScanModules() {
  PresentDevices devices;
  DeviceList list(m_listDevices);
  core::ModuleFlags flags{m_bModuleA != FALSE, m_bModuleB != FALSE};
  core::ScanModules(devices, kModuleConfig, list, &flags);
  m_bModuleA = flags.a ? TRUE : FALSE;
  m_bModuleB = flags.b ? TRUE : FALSE;
}

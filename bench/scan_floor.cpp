// The floor the launcher's module scan is measured against: a bare SetupAPI
// pass over every present device's hardware ids, nothing done with them. A
// program of its own, like the launcher, so neither scan shares a process
// with the driver. Makes two passes and appends the second one's time (ms)
// and the number of devices with a USB id first to the file named on the
// command line.
#include <windows.h>

#include "common/win/unique_devinfo.h"

#include <cstdio>
#include <cstring>

namespace {

int Scan() {
  const win::unique_devinfo set(SetupDiGetClassDevsExA(
      nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES, nullptr, nullptr, nullptr));
  if (!set) return -1;
  int usb = 0;
  static BYTE buffer[8192];
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set.get(), i, &device); ++i) {
    DWORD type = 0;
    if (SetupDiGetDeviceRegistryPropertyA(set.get(), &device, SPDRP_HARDWAREID, &type, buffer,
                                          sizeof buffer, nullptr) &&
        std::strncmp(reinterpret_cast<const char*>(buffer), "USB\\V", 5) == 0)
      ++usb;
  }
  return usb;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Scan();
  LARGE_INTEGER start, end, frequency;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  const int usb = Scan();
  QueryPerformanceCounter(&end);
  const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart);
  FILE* out = std::fopen(argv[1], "a");
  if (out == nullptr) return 1;
  std::fprintf(out, "%.3f %d\n", ms, usb);
  std::fclose(out);
  return 0;
}

// Owner for a SetupAPI device information set.
#pragma once

#include <windows.h>
// after windows.h
#include <setupapi.h>

#include "common/win/unique.h"

namespace win {

struct devinfo_traits {
  using pointer = HDEVINFO;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static bool is_valid(pointer p) { return p != INVALID_HANDLE_VALUE && p != nullptr; }
  static void close(pointer p) { SetupDiDestroyDeviceInfoList(p); }
};
using unique_devinfo = unique_any<devinfo_traits>;

}  // namespace win

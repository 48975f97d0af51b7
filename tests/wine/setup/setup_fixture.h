// Shared by the launcher's Wine tests: simulated camera modules (codes taken
// from the build's own module tables), the sample installer's records, and
// the temp folder setup.exe writes into.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dialog_driver.h"
#include "rig.h"
#include "setup_modules.h"
#include "usb.h"

namespace setup_test {

constexpr char kLog[] = "C:\\rig\\installer.log";
constexpr char kHold[] = "C:\\rig\\installer.hold";

// "USB\VID_<vendor>&PID_<product>" plus an optional tail.
inline std::string Id(const char* vendor, const char* product, const char* tail = "") {
  return std::string("USB\\VID_") + vendor + "&PID_" + product + tail;
}
inline std::string ModuleA(const char* tail = "&REV_0100") {
  return Id(kModuleConfig.vendor, kModuleConfig.a.codes[0], tail);
}
inline std::string ModuleB(const char* tail = "&REV_0100") {
  return Id(kModuleConfig.vendor, kModuleConfig.b.codes[0], tail);
}
inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

// The vendor and product digits in lower case, "USB\VID_" as it is.
inline std::string LowerDigits(const std::string& id) {
  return id.substr(0, 8) + Lower(id.substr(8));
}

// What one run of the sample installer wrote.
struct Record {
  std::string payload, cmdline, cwd, self;
};

inline std::vector<Record> Records() {
  std::vector<Record> records;
  std::string text;
  if (!rig::ReadFileText(kLog, &text)) return records;
  Record current;
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line.empty()) {
      records.push_back(current);
      current = Record{};
      continue;
    }
    const size_t eq = line.find('=');
    const std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "payload") current.payload = value;
    if (key == "cmdline") current.cmdline = value;
    if (key == "cwd") current.cwd = value;
    if (key == "self") current.self = value;
  }
  return records;
}

// A path as the platform resolves it: doubled separators and a trailing one
// dropped, any case.
inline std::string Canonical(std::string path) {
  std::string out;
  for (char c : path)
    if (!(c == '\\' && !out.empty() && out.back() == '\\')) out += c;
  if (out.size() > 3 && out.back() == '\\') out.pop_back();
  return Lower(out);
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig::RemoveUsbDevices();
    DeleteFileA(kLog);
    DeleteFileA(kHold);
    SetEnvironmentVariableA("BINDORA_INSTALLER_LOG", kLog);
    SetEnvironmentVariableA("BINDORA_INSTALLER_HOLD", kHold);
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    temp_ = temp;
    DeleteFileA(Installed().c_str());
  }

  void TearDown() override {
    DeleteFileA(kHold);
    rig::RemoveUsbDevices();
  }

  // The temp folder as setup.exe sees it (it inherits our environment).
  const std::string& Temp() const { return temp_; }
  // The file path setup.exe forms: the folder's own separator and one more.
  std::string Installed() const { return temp_ + "\\Setup.exe"; }

  // While held, the sample installer keeps running.
  static void Hold() {
    CloseHandle(CreateFileA(kHold, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  static void Release() { DeleteFileA(kHold); }

  static std::string SetupExe() { return rig::ProgramPath("setup.exe"); }

  std::string temp_;
};

}  // namespace setup_test

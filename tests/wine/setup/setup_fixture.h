// Shared by the launcher's Wine tests: simulated camera modules (codes taken
// from the build's own module tables), the sample installer's records, and
// the temp folder in which setup.exe makes the installer's folder.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "dialog_driver.h"
#include "rig.h"
#include "setup_modules.h"
#include "usb.h"

namespace setup_test {

constexpr char kLog[] = "C:\\rig\\installer.log";
constexpr char kHold[] = "C:\\rig\\installer.hold";
// Left in the temp folder before every run, as anyone could; the sample
// installer tries to load it by name.
constexpr char kPlanted[] = "bindora_planted.dll";

// setup.exe is started from folders others can write to: every test runs a
// copy in one, beside a marker DLL under the name of each DLL that setup
// loads from the system folder once it runs (DllsToPlant), searched for as
// Windows does ("native,builtin").
constexpr char kDownloads[] = "C:\\Downloads";
// Where a planted DLL that was loaded writes its path.
constexpr char kPlantedLog[] = "C:\\rig\\planted.log";
// The test program's Wine log (run-in-prefix.sh); its children write there.
constexpr char kWineLog[] = "C:\\rig\\wine-stderr.log";

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
  std::string payload, cmdline, cwd, self, loaded;
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
    if (key == "loaded") current.loaded = value;
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

inline std::string Parent(const std::string& path) {
  const size_t at = path.find_last_of('\\');
  return at == std::string::npos ? "" : path.substr(0, at);
}

// The file setup started: the quoted path at the head of its command line.
inline std::string Started(const Record& r) {
  const size_t end = r.cmdline.find('"', 1);
  return r.cmdline.empty() || r.cmdline[0] != '"' || end == std::string::npos
             ? ""
             : r.cmdline.substr(1, end - 1);
}

// The folder the installer was started from.
inline std::string FolderOf(const Record& r) { return Parent(Started(r)); }

// Full paths of the folders directly in `dir`.
inline std::vector<std::string> SubFolders(std::string dir) {
  if (!dir.empty() && dir.back() == '\\') dir.pop_back();
  std::vector<std::string> folders;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return folders;
  do {
    const std::string name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
      folders.push_back(dir + "\\" + name);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return folders;
}

// The copy of setup.exe every test runs.
inline std::string SetupExe() { return std::string(kDownloads) + "\\setup.exe"; }

// The DLLs that setup looks for along a search path (by name or path) and
// loads from the system folder, in each mode, with and without a module,
// less the known DLLs: Wine's loader trace of four runs. Imports of known
// DLLs, which Windows takes from the system folder, Wine looks for with no
// search path.
inline std::vector<std::string> MeasureDllsToPlant() {
  char saved[256] = "-all", system[2][MAX_PATH] = {};
  GetEnvironmentVariableA("WINEDEBUG", saved, sizeof saved);
  SetEnvironmentVariableA("WINEDEBUG", "+pid,trace+module");
  std::vector<std::string> runs;  // each one's "pid:" as the trace writes it
  for (const char* option : {"", "-s", "", "-d"}) {
    if (runs.size() == 1) rig::StageUsbDevice("VID_PLANT", {ModuleA()});
    rig::Process setup;
    if (!setup.Start(SetupExe(), option)) continue;
    // Traced, under emulation and load, a run takes seconds.
    if (runs.empty()) rig::DismissMessageBox(rig::WaitForMessageBox(setup.id(), 60000));
    if (option[0] != '\0' && option[1] == 'd')
      rig::PostClick(rig::WaitForDialog(setup.id(), "Bindora", 60000), IDCANCEL);
    EXPECT_NE(setup.Wait(60000), DWORD(STILL_ACTIVE)) << "setup " << option << " did not end";
    char pid[16];
    wsprintfA(pid, "%04x:", setup.id());
    runs.push_back(pid);
  }
  SetEnvironmentVariableA("WINEDEBUG", saved);
  rig::RemoveUsbDevices();
  GetSystemDirectoryA(system[0], MAX_PATH);
  GetSystemWow64DirectoryA(system[1], MAX_PATH);

  std::string trace;
  rig::ReadFileText(kWineLog, &trace);
  // Known DLLs of every Windows from 7 on.
  static const std::set<std::string> kKnown = {
      "advapi32", "clbcatq",  "comdlg32", "difxapi", "gdi32",  "imagehlp", "imm32", "kernel32",
      "msctf",    "msvcrt",   "normaliz", "nsi",     "ole32",  "oleaut32", "psapi", "rpcrt4",
      "sechost",  "setupapi", "shell32",  "shlwapi", "user32", "wldap32",  "ws2_32"};
  std::set<std::string> sought, names;  // sought: "pid:name"
  std::istringstream lines(Lower(trace));
  for (std::string line; std::getline(lines, line);) {
    const std::string run = line.substr(0, line.find(':') + 1);
    if (std::find(runs.begin(), runs.end(), run) == runs.end()) continue;
    // The file name, less ".dll", in L"..." after `before`, and its folder.
    std::string folder;
    const auto quoted = [&](const char* before) {
      folder.clear();
      size_t at = line.find(before);
      if (at == std::string::npos) return std::string();
      at += strlen(before);
      std::string path = line.substr(at, line.find(".dll\"", at) - at);
      for (size_t i = 0; (i = path.find("\\\\", i)) != std::string::npos; ++i) path.erase(i, 1);
      folder = Parent(path);
      return path.substr(path.find_last_of('\\') + 1);
    };
    if (line.find("\" in l\"") != std::string::npos)
      sought.insert(run + quoted(":load_dll looking for l\""));
    const std::string name = quoted(":load_dll loaded module l\"\\\\??\\\\");
    if ((folder == Lower(system[0]) || folder == Lower(system[1])) && sought.count(run + name) &&
        !kKnown.count(name))
      names.insert(name);
  }
  return {names.begin(), names.end()};
}

class SetupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rig::RemoveUsbDevices();
    DeleteFileA(kLog);
    DeleteFileA(kHold);
    SetEnvironmentVariableA("BINDORA_INSTALLER_LOG", kLog);
    SetEnvironmentVariableA("BINDORA_INSTALLER_HOLD", kHold);
    SetEnvironmentVariableA("BINDORA_INSTALLER_LOAD", kPlanted);
    SetEnvironmentVariableA("BINDORA_INSTALLER_LEAVE", nullptr);
    SetEnvironmentVariableA("BINDORA_INSTALLER_EXIT", nullptr);
    PlantBesideSetup();
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    temp_ = temp;
    ASSERT_TRUE(CopyFileA(rig::ProgramPath("..\\tests\\capture_filter.dll").c_str(),
                          (temp_ + kPlanted).c_str(), FALSE));
    before_ = SubFolders(temp_);
  }

  void TearDown() override {
    DeleteFileA(kHold);
    rig::RemoveUsbDevices();
    std::string loaded;
    EXPECT_FALSE(rig::ReadFileText(kPlantedLog, &loaded))
        << "planted " << testing::PrintToString(Planted()) << "; setup loaded:\n"
        << loaded;
  }

  static const std::vector<std::string>& Planted() {
    static const std::vector<std::string> names = MeasureDllsToPlant();
    return names;
  }

  static void PlantBesideSetup() {
    CreateDirectoryA(kDownloads, nullptr);
    ASSERT_TRUE(CopyFileA(rig::ProgramPath("setup.exe").c_str(), SetupExe().c_str(), FALSE));
    const std::vector<std::string>& names = Planted();
    DeleteFileA(kLog);  // the measuring runs' installers wrote there
    // uxtheme, for the dialog, at least: without it nothing was traced.
    ASSERT_NE(std::find(names.begin(), names.end(), "uxtheme"), names.end())
        << "setup's loads were not traced to " << kWineLog;
    for (const std::string& name : names) {
      ASSERT_TRUE(CopyFileA(rig::FixturePath("marker_dll.dll").c_str(),
                            (std::string(kDownloads) + "\\" + name + ".dll").c_str(), FALSE));
      rig::SetString(HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\setup.exe\\DllOverrides",
                     name, "native,builtin");
    }
    DeleteFileA(kPlantedLog);
  }

  // The temp folder as setup.exe sees it (it inherits our environment).
  const std::string& Temp() const { return temp_; }

  // The temp folder of the programs started next; "" gives them ours again.
  void UseTemp(const std::string& folder) const {
    const std::string& value = folder.empty() ? temp_ : folder;
    SetEnvironmentVariableA("TMP", value.c_str());
    SetEnvironmentVariableA("TEMP", value.c_str());
  }

  // setup reports `text` in a message box and ends; with "-s" it ends
  // without a word, telling its caller `silentExit`.
  void ExpectFailureReported(const char* text, DWORD silentExit) const {
    rig::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe()));
    HWND box = rig::WaitForMessageBox(setup.id());
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(rig::MessageBoxText(box), text);
    EXPECT_EQ(rig::WindowText(box), "setup");
    rig::DismissMessageBox(box);
    EXPECT_EQ(setup.Wait(10000), 0u);
    EXPECT_EQ(rig::Run(SetupExe(), "-s"), silentExit);
  }

  // Folders in the temp folder that were not there when the test began.
  std::vector<std::string> NewFolders() const {
    std::vector<std::string> made;
    for (const std::string& f : SubFolders(temp_))
      if (std::find(before_.begin(), before_.end(), f) == before_.end()) made.push_back(f);
    return made;
  }

  // Started as "<folder>\Setup.exe", quoted, from a folder of its own that
  // did not exist before, directly in `temp`; the DLL planted in the temp
  // folder was not found.
  void ExpectOwnFolder(const Record& r, const std::string& options,
                       const std::string& temp = "") const {
    const std::string folder = FolderOf(r);
    EXPECT_EQ(r.cmdline, "\"" + folder + "\\Setup.exe\"" + options);
    // The image that ran is that file; its own name for the temp folder may
    // read otherwise (the platform gives it in ANSI by best fit).
    const std::string tail = Lower(folder.substr(folder.find_last_of('\\') + 1) + "\\setup.exe");
    EXPECT_EQ(Lower(r.self).substr(r.self.size() - std::min(r.self.size(), tail.size())), tail);
    EXPECT_EQ(Canonical(Parent(folder)), Canonical(temp.empty() ? temp_ : temp));
    EXPECT_EQ(std::find(before_.begin(), before_.end(), folder), before_.end()) << folder;
    EXPECT_EQ(Canonical(r.cwd), Canonical(folder));
    EXPECT_EQ(r.loaded, "(none)") << "a DLL from the temp folder was loaded";
  }

  // While held, the sample installer keeps running.
  static void Hold() {
    CloseHandle(CreateFileA(kHold, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  }
  static void Release() { DeleteFileA(kHold); }

  std::string temp_;
  std::vector<std::string> before_;
};

}  // namespace setup_test

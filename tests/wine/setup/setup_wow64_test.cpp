// setup.exe as a 32-bit process on 64-bit Windows: what only that model
// shows. Its "system folder" is SysWOW64, and an installer it starts may be
// 64-bit.
#include <windows.h>

#include <psapi.h>

#include "setup_fixture.h"

namespace setup_test {
namespace {

// The files `process` has mapped as modules, lower case, in the platform's
// device form ("\??\c:\..." under Wine, "\device\harddiskvolume1\..." on
// Windows): the 32-bit ones name the folder they came from.
std::vector<std::string> LoadedModules(HANDLE process) {
  HMODULE modules[512];
  DWORD bytes = 0;
  std::vector<std::string> paths;
  if (!EnumProcessModulesEx(process, modules, sizeof modules, &bytes, LIST_MODULES_ALL))
    return paths;
  for (DWORD i = 0; i < std::min<DWORD>(bytes / sizeof(HMODULE), std::size(modules)); ++i) {
    char path[MAX_PATH];
    const DWORD n = GetMappedFileNameA(process, modules[i], path, MAX_PATH);
    if (n > 0) paths.push_back(Lower(std::string(path, n)));
  }
  return paths;
}

BOOL CALLBACK FirstLanguage(HMODULE, LPCSTR, LPCSTR, WORD language, LONG_PTR found) {
  *reinterpret_cast<WORD*>(found) = language;
  return FALSE;
}

// Puts `installer` into setup.exe at `setup` as payload `id`, in the
// language the build gave it.
bool CarryInstaller(const std::string& setup, int id, const std::string& installer) {
  std::string bytes;
  if (!rig::ReadFileText(installer, &bytes)) return false;
  WORD language = 0;
  {
    HMODULE image = LoadLibraryExA(setup.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (image == nullptr) return false;
    EnumResourceLanguagesA(image, "FILE", MAKEINTRESOURCEA(id), FirstLanguage,
                           reinterpret_cast<LONG_PTR>(&language));
    FreeLibrary(image);
  }
  HANDLE update = BeginUpdateResourceA(setup.c_str(), FALSE);
  if (update == nullptr) return false;
  const bool put = UpdateResourceA(update, "FILE", MAKEINTRESOURCEA(id), language, bytes.data(),
                                   static_cast<DWORD>(bytes.size()));
  return EndUpdateResourceA(update, !put) && put;
}

class SetupWow64 : public SetupTest {};

// Restricted to the system folder, a 32-bit process still finds the DLLs it
// loads by name: the folder is SysWOW64 there. The planted one beside
// setup.exe stays unloaded (the fixture's check).
TEST_F(SetupWow64, SystemFolderSearchLoadsFromSysWow64) {
  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe(), "-d"));
  ASSERT_NE(rig::WaitForDialog(setup.id(), "Bindora"), nullptr);
  BOOL wow64 = FALSE;
  EXPECT_TRUE(IsWow64Process(setup.handle(), &wow64) && wow64) << "setup runs as a 32-bit process";
  const auto modules = LoadedModules(setup.handle());
  const auto in = [](const std::string& path, const std::string& tail) {
    return path.size() >= tail.size() &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
  };
  EXPECT_EQ(std::count_if(
                modules.begin(), modules.end(),
                [&](const std::string& m) { return in(m, "\\windows\\syswow64\\uxtheme.dll"); }),
            1)
      << ::testing::PrintToString(modules);
  for (const std::string& path : modules)
    EXPECT_TRUE(!in(Parent(path), "\\downloads") || in(path, "\\setup.exe")) << path;
}

// The 32-bit setup carrying a 64-bit installer starts it, and a silent run
// hands its exit code on.
TEST_F(SetupWow64, SixtyFourBitInstallerRunsAndItsExitCodeComesBack) {
  ASSERT_TRUE(CarryInstaller(
      SetupExe(), 137, rig::OwnBuildPath("setup\\sample_installer\\sample_installer_137.exe")));
  rig::StageUsbDevice("D1", {ModuleA()});
  SetEnvironmentVariableA("BINDORA_INSTALLER_EXIT", "3010");
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 3010u);
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u) << "the 64-bit installer did not run";
  EXPECT_EQ(records[0].payload, "137");
  ExpectOwnFolder(records[0], " -s -noreboot");
  EXPECT_TRUE(NewFolders().empty());
}

}  // namespace
}  // namespace setup_test

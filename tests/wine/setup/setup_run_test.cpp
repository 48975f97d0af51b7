// setup.exe under Wine, automatic modes: which installer is written, where,
// how it is started, that it is waited for and that it and its folder go.
#include <aclapi.h>
#include <sddl.h>

#include <set>

#include "installer_folder.h"
#include "setup_fixture.h"

namespace setup_test {
namespace {

// Wine keeps no descriptor of its own for a file: it answers with one made
// from the Unix mode bits, where the "other" bits become an Everyone entry.
// That entry is the part of the folder's access the tests can see.
bool GrantsEveryone(const std::string& path) {
  PACL dacl = nullptr;
  win::unique_hlocal descriptor;
  if (GetNamedSecurityInfoA(
          path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
          reinterpret_cast<PSECURITY_DESCRIPTOR*>(descriptor.put())) != ERROR_SUCCESS ||
      dacl == nullptr) {
    return true;  // no DACL: everyone may do anything
  }
  BYTE everyone[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof everyone;
  CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
  for (DWORD i = 0; i < dacl->AceCount; ++i) {
    ACCESS_ALLOWED_ACE* ace = nullptr;
    if (GetAce(dacl, i, reinterpret_cast<void**>(&ace)) &&
        ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(&ace->SidStart, everyone))
      return true;
  }
  return false;
}

class SetupRun : public SetupTest {};

TEST_F(SetupRun, DefaultModeRunsTableAInstallerWaitsAndDeletesIt) {
  rig::StageUsbDevice("VID_1D6B&PID_0A01", {ModuleA(), ModuleA("")});
  Hold();
  rig::Process setup;
  ASSERT_TRUE(setup.Start(SetupExe()));
  ASSERT_TRUE(rig::WaitUntil([] { return Records().size() == 1; }));
  const Record r = Records()[0];
  EXPECT_TRUE(rig::FileExists(r.self));
  EXPECT_FALSE(GrantsEveryone(FolderOf(r)));
  EXPECT_EQ(setup.Wait(400), STILL_ACTIVE) << "setup must wait for the installer";
  EXPECT_FALSE(rig::HasVisibleWindow(setup.id()));
  Release();
  EXPECT_EQ(setup.Wait(10000), 0u);
  EXPECT_TRUE(NewFolders().empty()) << "Setup.exe and its folder go";

  EXPECT_EQ(r.payload, "137");
  ExpectOwnFolder(r, "");
}

// The fault this guards against: an installer started from the temp folder
// loads what was planted there.
TEST_F(SetupRun, DllPlantedInTheTempFolderIsNotLoaded) {
  const std::string stale = Temp() + "Setup.exe";
  ASSERT_TRUE(
      CopyFileA(rig::ProgramPath("..\\setup\\sample_installer\\sample_installer_137.exe").c_str(),
                stale.c_str(), FALSE));
  {
    rig::Process installer;
    ASSERT_TRUE(installer.Start(stale, "", Temp()));
    EXPECT_EQ(installer.Wait(10000), 0u);
  }
  DeleteFileA(stale.c_str());
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(Canonical(Records()[0].loaded), Canonical(Temp() + kPlanted)) << "the plant is real";

  DeleteFileA(kLog);
  rig::StageUsbDevice("D1", {ModuleA()});
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  ASSERT_EQ(Records().size(), 1u);
  ExpectOwnFolder(Records()[0], " -s -noreboot");
}

// A silent run ends with the installer's own exit code, so a deployment
// tool learns of a restart needed or a failed install; a person saw it.
TEST_F(SetupRun, OptionIsTheLastTwoCharacters) {
  rig::StageUsbDevice("VID_1D6B&PID_0A01", {ModuleA()});
  struct Row {
    const char* args;
    const char* options;  // after the quoted path
    const char* installerExit;
    DWORD setupExit;
  } const rows[] = {
      {"-s", " -s -noreboot", "0", 0},
      {"-S", " -s -noreboot", "3010", 3010},
      {"x-s", " -s -noreboot", "1603", 1603},
      {"-s ", "", "3010", 0},  // a trailing blank: no option, default mode
      {"-s x", "", "1603", 0},
  };
  std::set<std::string> folders;
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string("args '") + row.args + "'");
    DeleteFileA(kLog);
    SetEnvironmentVariableA("BINDORA_INSTALLER_EXIT", row.installerExit);
    // No message box can be pending in either case: a box would block past the limit.
    EXPECT_EQ(rig::Run(SetupExe(), row.args), row.setupExit);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    ExpectOwnFolder(records[0], row.options);
    folders.insert(Canonical(FolderOf(records[0])));
    EXPECT_TRUE(NewFolders().empty());
  }
  EXPECT_EQ(folders.size(), std::size(rows)) << "every run has a folder of its own";
}

TEST_F(SetupRun, FamilyChosenByTheFirstIdentifierInEnumerationOrder) {
  const std::string vendor = kModuleConfig.vendor;
  struct Device {
    const char* key;
    std::vector<std::string> ids;
  };
  struct Row {
    const char* label;
    std::vector<Device> devices;  // key names in enumeration order
    const char* payload;          // "" when nothing runs
  } const rows[] = {
      {"table A", {{"D1", {ModuleA()}}}, "137"},
      {"table B", {{"D1", {ModuleB()}}}, "135"},
      {"B first, A later: 135 wins", {{"D1", {ModuleB()}}, {"D2", {ModuleA()}}}, "135"},
      {"A first: B is not tested after it", {{"D1", {ModuleA()}}, {"D2", {ModuleB()}}}, "137"},
      {"lower-case vendor and product digits", {{"D1", {LowerDigits(ModuleB())}}}, "135"},
      {"module id not the first identifier", {{"D1", {Id("0000", "0000"), ModuleA()}}}, ""},
      {"right vendor, unknown product", {{"D1", {Id(vendor.c_str(), "FFFF")}}}, ""},
      {"other vendor, known product", {{"D1", {Id("0001", kModuleConfig.a.codes[0])}}}, ""},
      {"identifier cut before the last product digit", {{"D1", {ModuleA("").substr(0, 20)}}}, ""},
      {"no USB device of ours", {}, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    rig::RemoveUsbDevices();
    DeleteFileA(kLog);
    for (const Device& d : row.devices) rig::StageUsbDevice(d.key, d.ids);
    EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
    const auto records = Records();
    if (row.payload[0] == '\0') {
      EXPECT_TRUE(records.empty());
    } else {
      ASSERT_EQ(records.size(), 1u);
      EXPECT_EQ(records[0].payload, row.payload);
    }
    EXPECT_TRUE(NewFolders().empty());
  }
}

TEST_F(SetupRun, MalformedHardwareIdsAreSkipped) {
  // An unterminated multi-string and an empty list before a real module.
  rig::StageUsbDeviceRaw("D1", REG_MULTI_SZ, rig::Bytes{'U', 'S', 'B', '\\', 'V'});
  rig::StageUsbDeviceRaw("D2", REG_MULTI_SZ, rig::Bytes{0, 0});
  rig::StageUsbDeviceRaw("D3", REG_MULTI_SZ, rig::Bytes(9000, 'U'));
  rig::StageUsbDevice("D4", {ModuleB()});
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].payload, "135");
}

class SetupFiles : public SetupTest {};

// Not ours: whether it is stale or still held open by someone, it neither
// stops the launcher nor is touched by it.
TEST_F(SetupFiles, SetupExeInTheTempFolderIsLeftAlone) {
  rig::StageUsbDevice("D1", {ModuleA()});
  const std::string stale = Temp() + "Setup.exe";
  for (const bool locked : {false, true}) {
    SCOPED_TRACE(locked ? "held open without sharing" : "closed");
    DeleteFileA(kLog);
    win::unique_handle file(
        CreateFileA(stale.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    ASSERT_TRUE(file);
    DWORD n = 0;
    WriteFile(file.get(), "stale", 5, &n, nullptr);
    if (!locked) file.reset();

    // Default mode: a message box would keep it running past the limit.
    EXPECT_EQ(rig::Run(SetupExe()), 0u);
    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    ExpectOwnFolder(records[0], "");
    EXPECT_TRUE(NewFolders().empty());

    file.reset();
    std::string text;
    EXPECT_TRUE(rig::ReadFileText(stale, &text));
    EXPECT_EQ(text, "stale");
    DeleteFileA(stale.c_str());
  }
}

TEST_F(SetupFiles, FolderThatCannotBeMadeGivesCanNotCreateFileAndRunsNothing) {
  rig::StageUsbDevice("D1", {ModuleA()});
  // 224 characters with the separator: "Bindora-<16>\\Setup.exe" and the quotes
  // no longer fit in 260.
  const std::string tooLong = "C:\\rig\\" + std::string(216, 'x');
  ASSERT_TRUE(CreateDirectoryA(tooLong.c_str(), nullptr));
  struct Row {
    const char* label;
    std::string temp;  // GetTempPath does not check that it exists
    DWORD silentExit;
  } const rows[] = {
      {"temp folder missing", "C:\\rig\\missing", ERROR_PATH_NOT_FOUND},
      {"temp path too long", tooLong, ERROR_FILENAME_EXCED_RANGE},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    UseTemp(row.temp + "\\");
    ExpectFailureReported("Can not create file!", row.silentExit);
    UseTemp("");
    EXPECT_TRUE(Records().empty());
    EXPECT_TRUE(SubFolders(row.temp).empty());
  }
  EXPECT_FALSE(rig::FileExists("C:\\rig\\missing"));
  RemoveDirectoryA(tooLong.c_str());
}

// An installer that unpacks more and leaves it: its files and their folder
// stay, only Setup.exe goes.
TEST_F(SetupFiles, FolderStaysWithWhatTheInstallerLeftInIt) {
  rig::StageUsbDevice("D1", {ModuleA()});
  SetEnvironmentVariableA("BINDORA_INSTALLER_LEAVE", "unpacked.txt");
  EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
  SetEnvironmentVariableA("BINDORA_INSTALLER_LEAVE", nullptr);
  const auto records = Records();
  ASSERT_EQ(records.size(), 1u);
  const std::string folder = FolderOf(records[0]);
  EXPECT_EQ(NewFolders(), std::vector<std::string>{folder});
  EXPECT_FALSE(rig::FileExists(records[0].self));
  std::string text;
  EXPECT_TRUE(rig::ReadFileText(folder + "\\unpacked.txt", &text));
  EXPECT_EQ(text, "left by the installer");
  DeleteFileA((folder + "\\unpacked.txt").c_str());
  RemoveDirectoryA(folder.c_str());
}

FILETIME LastWrite(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data);
  return data.ftLastWriteTime;
}

// The temp folder by a name that reaches it and nothing else. With blanks,
// an unquoted command line would start C:\Documents.exe. A name the ANSI code
// page cannot hold (a Greek Omega) reads by best fit as its twin C:\Otemp,
// which someone else may own: setup goes by the short (8.3) name instead.
TEST_F(SetupFiles, TempFolderIsReachedByItsOwnName) {
  rig::StageUsbDevice("D1", {ModuleA()});
  CreateDirectoryA("C:\\Documents and Settings", nullptr);
  CreateDirectoryA("C:\\Documents and Settings\\tester", nullptr);
  CreateDirectoryA("C:\\Documents and Settings\\tester\\Local Settings", nullptr);
  // An unquoted command line would start this one instead.
  ASSERT_TRUE(
      CopyFileA(rig::ProgramPath("..\\setup\\sample_installer\\sample_installer_135.exe").c_str(),
                "C:\\Documents.exe", FALSE));
  ASSERT_TRUE(CreateDirectoryA("C:\\Otemp", nullptr));
  struct Row {
    const char* label;
    const wchar_t* temp;
    bool byShortName;
  } const rows[] = {
      {"blanks", L"C:\\Documents and Settings\\tester\\Local Settings\\Temp", false},
      {"outside the code page", L"C:\\\x03A9temp", true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    DeleteFileA(kLog);
    ASSERT_TRUE(CreateDirectoryW(row.temp, nullptr));
    // How setup must name it, plain ASCII either way.
    wchar_t name[MAX_PATH];
    ASSERT_NE(row.byShortName ? GetShortPathNameW(row.temp, name, MAX_PATH)
                              : GetFullPathNameW(row.temp, MAX_PATH, name, nullptr),
              0u);
    const std::string folder(name, name + wcslen(name));
    const FILETIME twin = LastWrite("C:\\Otemp");
    SetEnvironmentVariableW(L"TMP", (std::wstring(row.temp) + L"\\").c_str());
    SetEnvironmentVariableW(L"TEMP", (std::wstring(row.temp) + L"\\").c_str());
    EXPECT_EQ(rig::Run(SetupExe(), "-s"), 0u);
    UseTemp("");

    const auto records = Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].payload, "137");
    ExpectOwnFolder(records[0], " -s -noreboot", folder);
    EXPECT_TRUE(SubFolders(folder).empty());
    const FILETIME after = LastWrite("C:\\Otemp");
    EXPECT_EQ(CompareFileTime(&twin, &after), 0) << "the twin was touched";
    RemoveDirectoryW(row.temp);
  }
  DeleteFileA("C:\\Documents.exe");
  RemoveDirectoryA("C:\\Otemp");
}

// What setup applies to the folder, built as setup builds it, for the token
// Wine gives every process (a full administrator) and for one whose
// Administrators group only denies, as UAC filters it.
TEST_F(SetupFiles, FolderDescriptorFollowsTheToken) {
  win::unique_handle full;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ALL_ACCESS, full.put()));
  BYTE administrators[SECURITY_MAX_SID_SIZE];
  DWORD size = sizeof administrators;
  ASSERT_TRUE(CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, administrators, &size));
  SID_AND_ATTRIBUTES denyOnly{administrators, 0};
  win::unique_handle filtered;
  ASSERT_TRUE(
      CreateRestrictedToken(full.get(), 0, 1, &denyOnly, 0, nullptr, 0, nullptr, filtered.put()));

  union {
    TOKEN_USER user;
    BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  } info;
  ASSERT_TRUE(GetTokenInformation(full.get(), TokenUser, &info, sizeof info, &size));
  win::unique_hlocal userText;
  ASSERT_TRUE(ConvertSidToStringSidA(info.user.User.Sid, reinterpret_cast<char**>(userText.put())));
  const std::string user = static_cast<const char*>(userText.get());

  struct Row {
    const char* label;
    HANDLE token;  // impersonated, or none
    bool elevated;
    std::string dacl;
  } const rows[] = {
      {"full token", nullptr, true, "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"},
      {"filtered token", filtered.get(), false,
       "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;" + user + ")"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.label);
    if (row.token != nullptr) {
      ASSERT_TRUE(ImpersonateLoggedOnUser(row.token));
    }
    const bool elevated = RunsElevated();
    RevertToSelf();
    EXPECT_EQ(elevated, row.elevated);

    FolderDescriptor descriptor;
    ASSERT_TRUE(descriptor.Build(elevated));
    win::unique_hlocal text;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorA(
        descriptor.Attributes()->lpSecurityDescriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
        reinterpret_cast<char**>(text.put()), nullptr));
    EXPECT_EQ(std::string(static_cast<const char*>(text.get())), row.dacl);
  }
}

}  // namespace
}  // namespace setup_test

namespace setup_test {
namespace {

// Run by full-disk.sh with a temp folder on a file system too small for the
// payload: the short write is reported, the partial file goes, nothing runs.
class SetupFullDisk : public SetupTest {};

TEST_F(SetupFullDisk, ShortWriteIsReportedAndLeavesNothingBehind) {
  char folder[MAX_PATH];
  if (GetEnvironmentVariableA("BINDORA_FULL_TEMP", folder, MAX_PATH) == 0)
    GTEST_SKIP() << "needs full-disk.sh";
  rig::StageUsbDevice("D1", {ModuleA()});
  UseTemp(folder);
  ExpectFailureReported("Can not write file!", ERROR_DISK_FULL);
  UseTemp("");
  EXPECT_TRUE(Records().empty());
  EXPECT_TRUE(SubFolders(folder).empty()) << "the partial file and its folder go";
}

}  // namespace
}  // namespace setup_test

namespace setup_test {
namespace {

// How Setup.exe answers someone else at one instant.
enum class Access {
  Writing,  // not even readable: setup's writing handle shares nothing
  Open,     // it could be opened for writing, or it was deleted
  Refused,  // readable only
};

// Only with setup paused: a look that gets in must not still hold the file
// when setup reopens it.
Access Probe(const std::string& path) {
  constexpr DWORD kAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (!win::unique_handle(
          CreateFileA(path.c_str(), GENERIC_READ, kAll, nullptr, OPEN_EXISTING, 0, nullptr)))
    return Access::Writing;
  if (win::unique_handle(
          CreateFileA(path.c_str(), GENERIC_WRITE, kAll, nullptr, OPEN_EXISTING, 0, nullptr)))
    return Access::Open;
  return DeleteFileA(path.c_str()) ? Access::Open : Access::Refused;
}

// Whether a process of `job` (setup's, which the processes it starts join)
// runs `image`.
bool Running(HANDLE job, const std::string& image) {
  struct {
    JOBOBJECT_BASIC_PROCESS_ID_LIST list;
    ULONG_PTR more[15];
  } ids{};
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, &ids, sizeof ids, nullptr))
    return false;
  for (DWORD i = 0; i < ids.list.NumberOfProcessIdsInList; ++i) {
    const win::unique_handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE,
                                                 static_cast<DWORD>(ids.list.ProcessIdList[i])));
    char name[MAX_PATH];
    DWORD size = MAX_PATH;
    if (process && QueryFullProcessImageNameA(process.get(), 0, name, &size) &&
        Canonical(name) == Canonical(image))
      return true;
  }
  return false;
}

// setup writes Setup.exe, closes it and reopens it read-only, denying
// writers and deleters; for the instant between the two it holds no handle,
// and the reopen checks that the file is still the one written. From the
// reopen until the installer has started (a pause of 100 ms lies between)
// nobody may write or delete it. The test looks with setup paused, so that a
// look never overlaps the reopen, and judges by the last look before the
// installer appeared: taken less than 90 ms before the look that saw it, it
// falls after the reopen.
TEST_F(SetupFiles, WrittenFileCannotBeReplacedBeforeItRuns) {
  rig::StageUsbDevice("D1", {ModuleA()});
  constexpr double kClose = 90;
  struct Look {
    double ms;
    Access access;
  };
  bool judged = false;
  // A machine too busy to let the test look that often leaves a run
  // unjudged; then another run is made.
  for (int run = 1; run <= 3 && !judged; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    DeleteFileA(kLog);
    const win::unique_handle job(CreateJobObjectA(nullptr, nullptr));
    rig::Process setup;
    ASSERT_TRUE(setup.Start(SetupExe(), "-s", "", CREATE_SUSPENDED));
    ASSERT_TRUE(AssignProcessToJobObject(job.get(), setup.handle()));
    setup.Resume();
    std::vector<std::string> made;
    ASSERT_TRUE(rig::WaitUntil([&] { return !(made = NewFolders()).empty(); }, 30000));
    ASSERT_EQ(made.size(), 1u);
    const std::string path = made[0] + "\\Setup.exe";

    std::vector<Look> before;  // until the installer appeared
    double started = 0;
    for (const double limit = rig::NowMs() + 30000; started == 0 && rig::NowMs() < limit;) {
      if (!setup.Pause()) break;
      const Look look{rig::NowMs(), Probe(path)};
      const bool running = Running(job.get(), path);
      setup.Resume();
      if (running) {
        started = look.ms;
      } else {
        before.push_back(look);
        Sleep(1);
      }
    }
    const auto guarded = std::find_if(before.begin(), before.end(),
                                      [](const Look& l) { return l.access == Access::Refused; });
    EXPECT_TRUE(std::all_of(guarded, before.end(), [](const Look& l) {
      return l.access == Access::Refused;
    })) << "open to others again after it was refused";
    ASSERT_NE(started, 0) << "the installer did not start"
                          << (std::any_of(before.begin(), before.end(),
                                          [](const Look& l) { return l.access == Access::Open; })
                                  ? ", and Setup.exe had been open to others"
                                  : "");
    if (!before.empty() && started - before.back().ms < kClose) {
      judged = true;
      EXPECT_EQ(before.back().access, Access::Refused)
          << "open to others " << started - before.back().ms << " ms before the installer started";
    }
    ASSERT_TRUE(rig::WaitUntil([] { return Records().size() == 1; }, 30000));
    EXPECT_EQ(Records()[0].payload, "137") << "the file written is the file run";
    EXPECT_EQ(setup.Wait(30000), 0u);
    EXPECT_TRUE(NewFolders().empty());
  }
  EXPECT_TRUE(judged) << "no run was looked at closely enough before its installer started";
}

}  // namespace
}  // namespace setup_test

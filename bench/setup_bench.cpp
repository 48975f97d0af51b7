// setup's figures: the module scan over many present devices against a bare
// SetupAPI loop, and the payload write against CopyFile of the same bytes,
// with the launcher's peak working set for a large and a small payload.
#include <windows.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench.h"
#include "common/win/unique.h"
#include "dialog_driver.h"
#include "rig.h"
#include "setup_modules.h"
#include "usb.h"

namespace bench {
namespace {

constexpr int kDevices = 2000;
constexpr int kScans = 5;
constexpr int kPairs = 11;
constexpr int kPrimeWrites = 4;
constexpr int kEnum = 1006, kDevicesList = 1007, kExit = 2;
constexpr char kInstallerLog[] = "C:\\rig\\bench-installer.log";
constexpr char kHold[] = "C:\\rig\\bench-installer.hold";

constexpr char kFloorResults[] = "C:\\rig\\scan-floor.txt";

std::string Beside(const char* name) {
  char self[MAX_PATH];
  std::string path(self, GetModuleFileNameA(nullptr, self, MAX_PATH));
  return path.substr(0, path.find_last_of('\\') + 1) + name;
}

// One run of the floor program: its timed pass in ms, or < 0.
double BareScan(int* usb) {
  DeleteFileA(kFloorResults);
  if (rig::Run(Beside("scan_floor.exe"), kFloorResults, 60000) != 0) return -1;
  std::string text;
  double ms = -1;
  if (rig::ReadFileText(kFloorResults, &text)) std::sscanf(text.c_str(), "%lf %d", &ms, usb);
  return ms;
}

void StageDevices() {
  char name[32], id[64];
  for (int i = 0; i < kDevices; ++i) {
    std::snprintf(name, sizeof name, "VID_ABCD&PID_%04X", i);
    std::snprintf(id, sizeof id, "USB\\VID_ABCD&PID_%04X&REV_0001", i);
    rig::StageUsbDevice(name, {id, std::string(id, 21)});
  }
}

}  // namespace

void BenchScan(Report& report) {
  rig::RemoveUsbDevices();
  StageDevices();

  std::vector<double> bare, scans;
  int listed = -1;
  auto bareScan = [&] { return BareScan(&listed); };

  rig::Process setup;
  HWND dialog = nullptr;
  LRESULT count = -1;
  if (setup.Start(rig::ProgramPath("setup.exe"), "-d") &&
      (dialog = rig::WaitForDialog(setup.id(), "Bindora", 15000)) != nullptr) {
    const HWND button = GetDlgItem(dialog, kEnum);
    // A sent click returns once the handler has filled the list.
    auto scan = [&] {
      DWORD_PTR result = 0;
      const double start = rig::NowMs();
      if (!SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(kEnum, BN_CLICKED),
                               reinterpret_cast<LPARAM>(button), SMTO_NORMAL, 60000, &result))
        return -1.0;
      return rig::NowMs() - start;
    };
    // Taken in turns, so both see the server in the same state.
    bareScan();
    scan();
    for (int i = 0; i < kScans; ++i) {
      const double floor = bareScan();
      if (floor >= 0) bare.push_back(floor);
      const double ms = scan();
      if (ms < 0) break;
      scans.push_back(ms);
    }
    count = SendMessageA(GetDlgItem(dialog, kDevicesList), LB_GETCOUNT, 0, 0);
    PostMessageA(dialog, WM_COMMAND, kExit, 0);
  }
  if (setup.Wait(10000) == STILL_ACTIVE) setup.Terminate();
  rig::RemoveUsbDevices();

  char note[200];
  std::snprintf(note, sizeof note,
                "scan: %d devices staged; list shows %ld USB ids, bare loop saw %d; median of %d "
                "(list box fill included, it is part of ScanModules)",
                kDevices, static_cast<long>(count), listed, kScans);
  report.Note(note);
  if (count != listed) report.Note("scan: the launcher listed a different number of ids");
  if (scans.empty()) {
    report.Note("scan: the launcher's scan did not complete");
    return;
  }
  const double median = Median(scans), floor = Median(bare);
  report.Add({"setup ScanModules, 2000 USB devices", median, floor, "ms", "ratio <= 1.2",
              median <= 1.2 * floor});
}

namespace {

double WorkingSetMb(HANDLE process, bool peak) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!K32GetProcessMemoryInfo(process, &counters, sizeof counters)) return -1;
  return static_cast<double>(peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize) /
         (1024.0 * 1024.0);
}

// From the file's creation to its full size, seen by polling as fast as the
// platform lets a thread yield. `stillRunning` ends the wait early; when it
// is the writer, `atCreation` receives its working set as the write starts.
double WriteMs(const std::string& path, DWORD size, HANDLE stillRunning,
               double* atCreation = nullptr) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  const double until = rig::NowMs() + 60000;
  double created = -1;
  for (;;) {
    const double now = rig::NowMs();
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) {
      if (created < 0) {
        created = now;
        if (atCreation) *atCreation = WorkingSetMb(stillRunning, false);
      }
      if (data.nFileSizeLow >= size) return now - created;
    }
    if (now > until || WaitForSingleObject(stillRunning, 0) == WAIT_OBJECT_0) return -1;
    Sleep(0);
  }
}

std::string TempFile(const char* name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  return std::string(temp) + name;
}

std::vector<std::string> TempFolders() {
  std::vector<std::string> folders;
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA(TempFile("*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return folders;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && found.cFileName[0] != '.')
      folders.push_back(found.cFileName);
  } while (FindNextFileA(find, &found));
  FindClose(find);
  return folders;
}

// Setup.exe in the folder the launcher makes for it: the one that was not in
// the temp folder before. The folder comes a moment before the file, so the
// file's creation is still seen by WriteMs.
std::string InstallerPath(const std::vector<std::string>& before, HANDLE stillRunning) {
  const double until = rig::NowMs() + 60000;
  while (rig::NowMs() < until && WaitForSingleObject(stillRunning, 0) != WAIT_OBJECT_0) {
    for (const std::string& folder : TempFolders()) {
      bool known = false;
      for (const std::string& old : before) known = known || old == folder;
      if (!known) return TempFile(folder.c_str()) + "\\Setup.exe";
    }
    Sleep(0);
  }
  return "";
}

struct Extraction {
  double writeMs = -1;
  double peakMb = -1;
  double beforeWriteMb = -1;  // working set as the file is created
};

// One "setup -s" run with the installer held, so the launcher's peak can be
// read while it waits.
Extraction Extract(const std::string& setupExe, DWORD size) {
  Extraction result;
  DeleteFileA(kInstallerLog);
  CloseHandle(CreateFileA(kHold, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));

  const std::vector<std::string> before = TempFolders();
  rig::Process setup;
  if (!setup.Start(setupExe, "-s")) return result;
  const std::string installed = InstallerPath(before, setup.handle());
  if (installed.empty()) return result;
  result.writeMs = WriteMs(installed, size, setup.handle(), &result.beforeWriteMb);
  if (rig::WaitUntil([] { return rig::FileExists(kInstallerLog); }, 20000)) {
    result.peakMb = WorkingSetMb(setup.handle(), true);
  } else {
    result.writeMs = -1;  // the installer never ran: the write is not the whole story
  }
  DeleteFileA(kHold);
  if (setup.Wait(20000) == STILL_ACTIVE) setup.Terminate();
  // What a stopped launcher leaves would weigh on the next run.
  DeleteFileA(installed.c_str());
  RemoveDirectoryA(installed.substr(0, installed.find_last_of('\\')).c_str());
  return result;
}

// CopyFile on a thread, watched the same way as the launcher's write.
struct CopyJob {
  std::string from, to;
};
DWORD WINAPI Copy(LPVOID parameter) {
  const CopyJob* job = static_cast<const CopyJob*>(parameter);
  return CopyFileA(job->from.c_str(), job->to.c_str(), FALSE) ? 0 : 1;
}

double CopyMs(const CopyJob& job, DWORD size) {
  DeleteFileA(job.to.c_str());
  const win::unique_handle thread(
      CreateThread(nullptr, 0, Copy, const_cast<CopyJob*>(&job), 0, nullptr));
  if (!thread) return -1;
  const double ms = WriteMs(job.to, size, thread.get());
  WaitForSingleObject(thread.get(), 60000);
  DeleteFileA(job.to.c_str());
  return ms;
}

// Reads the whole file, so a run takes its bytes from the cache.
void Warm(const std::string& path) {
  const win::unique_handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return;
  static char chunk[1 << 20];
  DWORD got = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &got, nullptr) && got > 0) {
  }
}

// A virtual machine that hands free memory back to its host (free page
// reporting) does so with large blocks that have been free for about 2 s.
// A file's cache pages come in blocks as large as the write allows: the
// launcher's single 64 MB write then pays a host fault per page, up to ten
// times its usual time, while CopyFile's small writes rarely do. Scratch
// bytes written the same way and deleted just before a run leave freshly
// freed blocks, so both sides meet memory in the same state.
void Prime(const std::string& scratch, DWORD size) {
  static void* const zeros = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!zeros) return;
  {
    const win::unique_handle file(CreateFileA(scratch.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    for (int i = 0; i < kPrimeWrites; ++i) WriteFile(file.get(), zeros, size, &written, nullptr);
  }
  // Deleted before the platform writes any of it back.
  DeleteFileA(scratch.c_str());
}

// Written back now rather than in the middle of a pair.
bool Flush(const std::string& path) {
  const win::unique_handle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
  return file && FlushFileBuffers(file.get());
}

}  // namespace

void BenchExtract(Report& report, const ExtractBuilds& builds) {
  rig::RemoveUsbDevices();
  rig::StageUsbDevice("VID_1D6B&PID_0A01", {std::string("USB\\VID_") + kModuleConfig.vendor +
                                            "&PID_" + kModuleConfig.a.codes[0] + "&REV_0100"});
  SetEnvironmentVariableA("BINDORA_INSTALLER_LOG", kInstallerLog);
  SetEnvironmentVariableA("BINDORA_INSTALLER_HOLD", kHold);

  std::vector<double> writes, copies, ratios, peaksLarge, peaksSmall, beforeLarge, beforeSmall;
  // The same bytes, copied within the temp folder the launcher writes into.
  const CopyJob job{TempFile("bench-source.bin"), TempFile("bench-copy.bin")};
  const std::string scratch = TempFile("bench-scratch.bin");
  const bool source =
      CopyFileA(builds.payloadLarge.c_str(), job.from.c_str(), FALSE) != FALSE && Flush(job.from);
  auto settle = [&] {
    Warm(builds.setupLarge);
    Warm(job.from);
    Prime(scratch, builds.sizeLarge);
  };
  // A pair's two runs follow each other closely, so both meet the same load
  // from other work on the machine; each side goes first in every other pair.
  for (int pair = 0; pair < kPairs; ++pair) {
    Extraction large;
    double copy = -1;
    for (int turn = 0; turn < 2; ++turn) {
      settle();
      if ((turn == 0) == (pair % 2 == 0))
        large = Extract(builds.setupLarge, builds.sizeLarge);
      else if (source)
        copy = CopyMs(job, builds.sizeLarge);
    }
    if (large.writeMs >= 0 && copy > 0) {
      writes.push_back(large.writeMs);
      copies.push_back(copy);
      ratios.push_back(large.writeMs / copy);
    }
    if (large.peakMb >= 0) peaksLarge.push_back(large.peakMb);
    beforeLarge.push_back(large.beforeWriteMb);
    const Extraction small = Extract(builds.setupSmall, builds.sizeSmall);
    if (small.peakMb >= 0) peaksSmall.push_back(small.peakMb);
    beforeSmall.push_back(small.beforeWriteMb);
  }
  DeleteFileA(job.from.c_str());
  DeleteFileA(kInstallerLog);
  rig::RemoveUsbDevices();

  char note[300];
  std::snprintf(note, sizeof note,
                "extract: %zu/%d pairs timed, setup -s and CopyFile each first in every other "
                "pair, both after the same warm-up and scratch write; %zu/%zu peaks; payloads %lu "
                "and %lu bytes",
                ratios.size(), kPairs, peaksLarge.size(), peaksSmall.size(),
                static_cast<unsigned long>(builds.sizeLarge),
                static_cast<unsigned long>(builds.sizeSmall));
  report.Note(note);
  std::snprintf(note, sizeof note,
                "extract: working set as Setup.exe is created (before the write) %.1f MB with "
                "the 64 MB payload, %.1f MB with the 1 MB one",
                Median(beforeLarge), Median(beforeSmall));
  report.Note(note);
  if (!ratios.empty()) {
    const double ratio = Median(ratios);
    std::snprintf(note, sizeof note,
                  "extract write: the ratio is the median of the per-pair ratios (setup / "
                  "CopyFile), min %.2f, quartiles %.2f-%.2f, max %.2f; the times are each "
                  "side's median",
                  Percentile(ratios, 0), Percentile(ratios, 0.25), Percentile(ratios, 0.75),
                  Percentile(ratios, 1));
    report.Note(note);
    char name[96];
    std::snprintf(name, sizeof name, "extract 64 MB payload: write (%zu pairs)", ratios.size());
    report.Add({name, Median(writes), Median(copies), "ms", "ratio <= 1.3", ratio <= 1.3, ratio});
  }
  if (!peaksLarge.empty() && !peaksSmall.empty()) {
    const double large = Median(peaksLarge), small = Median(peaksSmall);
    const double payloadMb =
        static_cast<double>(builds.sizeLarge - builds.sizeSmall) / (1024.0 * 1024.0);
    // "Far less than the payload": a quarter of the extra bytes at most.
    report.Add({"extract peak working set 64 MB vs 1 MB", large, small, "MB",
                "growth < 1/4 payload", large - small < payloadMb / 4});
  }
}

}  // namespace bench

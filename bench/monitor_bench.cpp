// rotasync's figures: CPU time while idle, "RotateNotify" → Set() latency and
// SnapShotState = 2 → Set() latency, beside the two floors of sync_floor.exe
// (bare and mandated) triggered and observed the same way, in the same
// prefix, with the programs and floors of one architecture.
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "bench.h"
#include "capture.h"
#include "dialog_driver.h"
#include "common/win/unique.h"
#include "rig.h"

namespace bench {
namespace {

constexpr char kLogFolder[] = "C:\\rig";
constexpr char kLog[] = "C:\\rig\\capture.log";
constexpr int kSyncs = 200;
constexpr int kRoundSyncs = 1;
constexpr int kWarmUp = 5;
constexpr int kSnapshots = 50;
constexpr int kRoundSnapshots = 1;
constexpr DWORD kIdleMs = 30000;
// Longer than the monitor's pause after each delivery, so every trigger
// finds it waiting for messages again.
constexpr DWORD kGapMs = 30;
constexpr DWORD kSetLimitMs = 5000;

struct change_traits {
  using pointer = HANDLE;
  static pointer invalid() { return INVALID_HANDLE_VALUE; }
  static bool is_valid(pointer h) { return h != INVALID_HANDLE_VALUE && h != nullptr; }
  static void close(pointer h) { FindCloseChangeNotification(h); }
};
using unique_change = win::unique_any<change_traits>;

// Sees a new "set" line in the capture log as soon as the folder reports a
// write; the timed wait only guards against a missed notification.
class SetWatch {
 public:
  SetWatch()
      : change_(FindFirstChangeNotificationA(
            kLogFolder, FALSE, FILE_NOTIFY_CHANGE_SIZE | FILE_NOTIFY_CHANGE_LAST_WRITE)) {}

  // Everything logged so far counts as seen.
  void Mark() { offset_ = Size(); }

  // Milliseconds from `since` (rig::NowMs) to the first new "set" line, or
  // a negative value after the limit.
  double WaitForSet(double since) {
    const double until = since + kSetLimitMs;
    for (;;) {
      if (NewSet()) return rig::NowMs() - since;
      if (rig::NowMs() > until) return -1;
      if (change_) {
        WaitForSingleObject(change_.get(), 1);
        FindNextChangeNotification(change_.get());
      } else {
        Sleep(1);
      }
    }
  }

 private:
  static DWORD Size() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    return GetFileAttributesExA(kLog, GetFileExInfoStandard, &data) ? data.nFileSizeLow : 0;
  }

  // Reads complete lines past the offset; true when one of them is a "set".
  bool NewSet() {
    if (Size() <= offset_) return false;
    const win::unique_handle file(CreateFileA(kLog, GENERIC_READ,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || SetFilePointer(file.get(), static_cast<LONG>(offset_), nullptr, FILE_BEGIN) ==
                     INVALID_SET_FILE_POINTER)
      return false;
    std::string text(64 * 1024, '\0');
    DWORD read = 0;
    if (!ReadFile(file.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr))
      return false;
    text.resize(read);
    bool found = false;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
      if (text.compare(at, 4, "set\t") == 0) found = true;
    offset_ += static_cast<DWORD>(at);
    return found;
  }

  unique_change change_;
  DWORD offset_ = 0;
};

double CpuMs(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return -1;
  auto ms = [](const FILETIME& t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           10000.0;
  };
  return ms(kernel) + ms(user);
}

HWND WaitForWindow(const char* caption) {
  HWND window = nullptr;
  rig::WaitUntil([&] { return (window = FindWindowA(nullptr, caption)) != nullptr; });
  return window;
}

void Close(rig::Process& process, HWND window) {
  if (window) PostMessageA(window, WM_CLOSE, 0, 0);
  if (process.Wait(5000) == STILL_ACTIVE) process.Terminate();
}

// Latencies of `count` deliveries, each started by `trigger` after `prepare`
// and a quiet gap.
template <typename Prepare, typename Trigger>
std::vector<double> Deliveries(SetWatch& watch, int count, Prepare prepare, Trigger trigger) {
  std::vector<double> latencies;
  for (int i = 0; i < count; ++i) {
    prepare();
    Sleep(kGapMs);
    watch.Mark();
    const double start = rig::NowMs();
    trigger();
    const double ms = watch.WaitForSet(start);
    if (ms < 0) break;  // nothing arrives: report what was measured
    latencies.push_back(ms);
  }
  return latencies;
}

// One program under measurement, with the Settings key its snapshots are
// written to: each has its own, so a pulse wakes only the one it is for.
struct Subject {
  Subject(const char* name_, std::string program_, std::string arguments_, std::string settings_,
          const char* caption_)
      : name(name_),
        program(std::move(program_)),
        arguments(std::move(arguments_)),
        settings(std::move(settings_)),
        caption(caption_) {}

  const char* name;
  std::string program, arguments, settings;
  const char* caption;
  rig::Process process;
  HWND window = nullptr;
  std::vector<double> syncs, snapshots;
};

void SetState(const std::string& settings, DWORD value) {
  rig::SetDword(HKEY_LOCAL_MACHINE, settings, "SnapShotState", value);
}

// `count` deliveries of one subject, appended to its figures.
void SyncRound(SetWatch& watch, Subject& subject, int count, bool keep) {
  const UINT rotateNotify = RegisterWindowMessageA("RotateNotify");
  const std::vector<double> seen = Deliveries(
      watch, count, [] {}, [&] { PostMessageA(subject.window, rotateNotify, 0, 0); });
  if (keep) subject.syncs.insert(subject.syncs.end(), seen.begin(), seen.end());
}

// Each pulse starts from 0, as snappulse leaves the value.
void SnapshotRound(SetWatch& watch, Subject& subject, int count) {
  const std::vector<double> seen = Deliveries(
      watch, count, [&] { SetState(subject.settings, 0); }, [&] { SetState(subject.settings, 2); });
  subject.snapshots.insert(subject.snapshots.end(), seen.begin(), seen.end());
  SetState(subject.settings, 0);
}

// Rounds of each subject in turn, the order shifted every round, so drift
// and bursts of load from other work on the machine weigh on all alike.
template <size_t N, typename Round>
void InTurns(Subject* (&subjects)[N], int rounds, Round round) {
  for (int r = 0; r < rounds; ++r)
    for (size_t i = 0; i < N; ++i) round(*subjects[(r + i) % N]);
}

}  // namespace

void BenchMonitor(Report& report) {
  const std::string arch = rig::CurrentHost() == rig::kWin32   ? "i686 win32"
                           : rig::CurrentHost() == rig::kWow64 ? "i686 wow64"
                                                               : "x86_64";
  rig::RemoveCameras();
  rig::RemoveCaptureDevices();
  rig::ClearCaptureLog();
  rig::StageCamera("0000", kCamera);
  rig::RegisterCaptureDevice("cam0", kCamera);

  // The floors lie beside the capture filter built for the same architecture.
  const std::string floor = rig::FixturePath("sync_floor.exe");
  Subject monitor{"rotasync", rig::ProgramPath("rotasync.exe"), "", rig::SettingsKey("0000"),
                  kMonitorCaption};
  Subject bare{"bare floor", floor, "bare " + rig::SettingsKey("0001"), rig::SettingsKey("0001"),
               kBareFloorCaption};
  Subject mandated{"mandated floor", floor, "mandated " + rig::SettingsKey("0002"),
                   rig::SettingsKey("0002"), kMandatedFloorCaption};
  Subject manifest{
      "mandated floor with rotasync's manifest", rig::FixturePath("sync_floor_manifest.exe"),
      "mandated " + rig::SettingsKey("0003"), rig::SettingsKey("0003"), kManifestFloorCaption};
  Subject* subjects[] = {&monitor, &bare, &mandated, &manifest};
  // A state of 2 left from before would sync a program as it starts.
  for (Subject* s : subjects) SetState(s->settings, 0);
  SetWatch watch;

  auto closeAll = [&] {
    for (Subject* s : subjects) Close(s->process, s->window);
  };
  for (Subject* s : subjects) {
    if (!s->process.Start(s->program, s->arguments) || !(s->window = WaitForWindow(s->caption))) {
      report.Note(arch + ": " + s->name + " did not come up (" + s->program + ")");
      closeAll();
      return;
    }
  }
  if (rig::WaitForSets(1, 5000).sets.empty()) {
    report.Note(arch + ": rotasync's start-up sync did not arrive");
    closeAll();
    return;
  }

  // Idle: all of them side by side over the same half minute.
  Sleep(1000);
  double idleStart[3], idle[3];
  for (int i = 0; i < 3; ++i) idleStart[i] = CpuMs(subjects[i]->process.handle());
  Sleep(kIdleMs);
  for (int i = 0; i < 3; ++i) idle[i] = CpuMs(subjects[i]->process.handle()) - idleStart[i];
  char text[256];
  std::snprintf(text, sizeof text,
                "%s idle: CPU over 30 s %.1f ms rotasync, %.1f ms bare floor, %.1f ms mandated "
                "floor; since start %.1f, %.1f, %.1f ms (the platform counts in 10 ms ticks)",
                arch.c_str(), idle[0], idle[1], idle[2], CpuMs(monitor.process.handle()),
                CpuMs(bare.process.handle()), CpuMs(mandated.process.handle()));
  report.Note(text);
  report.Add(
      {arch + " rotasync idle CPU over 30 s", idle[0], idle[1], "ms", "< 5 ms", idle[0] < 5});

  for (Subject* s : subjects) SyncRound(watch, *s, kWarmUp, false);
  InTurns(subjects, kSyncs / kRoundSyncs,
          [&](Subject& s) { SyncRound(watch, s, kRoundSyncs, true); });
  InTurns(subjects, kSnapshots / kRoundSnapshots,
          [&](Subject& s) { SnapshotRound(watch, s, kRoundSnapshots); });
  closeAll();

  std::snprintf(text, sizeof text,
                "%s deliveries seen: syncs %zu/%zu/%zu/%zu of %d, snapshots %zu/%zu/%zu/%zu of "
                "%d (rotasync/bare/mandated/mandated with manifest), taken in turns of %d sync "
                "and %d pulse each, the order shifted every round",
                arch.c_str(), monitor.syncs.size(), bare.syncs.size(), mandated.syncs.size(),
                manifest.syncs.size(), kSyncs, monitor.snapshots.size(), bare.snapshots.size(),
                mandated.snapshots.size(), manifest.snapshots.size(), kSnapshots, kRoundSyncs,
                kRoundSnapshots);
  report.Note(text);
  report.Note(arch +
              ": rotasync and the mandated floor pause 10 ms after each Set(); it lies outside "
              "the measured interval (triggers are 30 ms apart)");

  auto ratioRow = [&](const char* figure, double fraction, const Subject& base, double limit) {
    const double m = Percentile(monitor.syncs, fraction);
    const double b = Percentile(base.syncs, fraction);
    char name[96], target[32];
    std::snprintf(name, sizeof name, "%s sync %s, %s (%zu)", arch.c_str(), figure, base.name,
                  monitor.syncs.size());
    std::snprintf(target, sizeof target, "ratio <= %.2f", limit);
    report.Add({name, m, b, "ms", target, b > 0 && m <= limit * b});
  };
  ratioRow("median", 0.5, bare, 1.3);
  ratioRow("p95", 0.95, bare, 1.3);
  ratioRow("median", 0.5, mandated, 1.1);
  ratioRow("p95", 0.95, mandated, 1.1);
  const double snap = Median(monitor.snapshots);
  char name[96];
  std::snprintf(name, sizeof name, "%s snapshot 2 -> Set median, mandated floor (%zu)",
                arch.c_str(), monitor.snapshots.size());
  report.Add({name, snap, Median(mandated.snapshots), "ms", "<= 30 ms",
              !monitor.snapshots.empty() && snap <= 30});
  std::snprintf(text, sizeof text,
                "%s: the mandated work costs the floor %.2f ms a sync (median, mandated - bare); "
                "bare floor's snapshot median %.2f ms",
                arch.c_str(), Median(mandated.syncs) - Median(bare.syncs), Median(bare.snapshots));
  report.Note(text);
  const double manifestMedian = Median(manifest.syncs);
  const double manifestP95 = Percentile(manifest.syncs, 0.95);
  std::snprintf(text, sizeof text,
                "%s: the mandated floor carrying rotasync's manifest (common controls 6 radio "
                "buttons where the manifest's x86 assembly applies): sync median %.2f ms, p95 %.2f "
                "ms; rotasync against it %.2f, %.2f",
                arch.c_str(), manifestMedian, manifestP95,
                manifestMedian > 0 ? Median(monitor.syncs) / manifestMedian : 0,
                manifestP95 > 0 ? Percentile(monitor.syncs, 0.95) / manifestP95 : 0);
  report.Note(text);

  rig::RemoveCaptureDevices();
  rig::RemoveCameras();
}

}  // namespace bench

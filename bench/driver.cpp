// The benchmark driver: runs inside a throwaway Wine prefix, measures each
// figure beside its baseline and appends the rows to a results file.
//   bench_driver.exe RESULTS SETUP_LARGE SETUP_SMALL PAYLOAD_LARGE SIZE_LARGE SIZE_SMALL
// Parts: monitor (rotasync), scan and extract (setup).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "bench.h"
#include "common/win/unique.h"

namespace bench {

void Report::Append(const std::string& line) {
  const win::unique_handle file(CreateFileA(path_.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ,
                                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return;
  DWORD written = 0;
  WriteFile(file.get(), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void Report::Add(const Row& row) {
  char line[512];
  char baseline[32] = "-", ratio[32] = "-";
  if (row.baseline >= 0)
    std::snprintf(baseline, sizeof baseline, "%.2f %s", row.baseline, row.unit.c_str());
  if (row.ratio >= 0)
    std::snprintf(ratio, sizeof ratio, "%.2f", row.ratio);
  else if (row.baseline > 0)
    std::snprintf(ratio, sizeof ratio, "%.2f", row.measured / row.baseline);
  std::snprintf(line, sizeof line, "row\t%s\t%.2f %s\t%s\t%s\t%s\t%s\n", row.name.c_str(),
                row.measured, row.unit.c_str(), baseline, ratio, row.target.c_str(),
                row.met ? "yes" : "NO");
  Append(line);
  std::printf("%s", line);
  std::fflush(stdout);
}

void Report::Note(const std::string& text) {
  Append("note\t" + text + "\n");
  std::printf("note: %s\n", text.c_str());
  std::fflush(stdout);
}

double Median(std::vector<double> values) { return Percentile(std::move(values), 0.5); }

// Nearest rank.
double Percentile(std::vector<double> values, double fraction) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t rank = static_cast<size_t>(fraction * static_cast<double>(values.size()) + 0.999999);
  rank = std::min(std::max<size_t>(rank, 1), values.size());
  return values[rank - 1];
}

}  // namespace bench

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: bench_driver RESULTS SETUP_LARGE SETUP_SMALL PAYLOAD_LARGE "
                 "SIZE_LARGE SIZE_SMALL\n");
    return 2;
  }
  bench::Report report(argv[1]);
  bench::ExtractBuilds builds;
  builds.setupLarge = argv[2];
  builds.setupSmall = argv[3];
  builds.payloadLarge = argv[4];
  builds.sizeLarge = std::strtoul(argv[5], nullptr, 10);
  builds.sizeSmall = std::strtoul(argv[6], nullptr, 10);

  // BINDORA_BENCH_PARTS (e.g. "scan extract") narrows the run while one
  // figure is being worked on.
  char parts[128] = "";
  GetEnvironmentVariableA("BINDORA_BENCH_PARTS", parts, sizeof parts);
  auto wanted = [&](const char* part) { return parts[0] == '\0' || std::strstr(parts, part); };

  CreateDirectoryA("C:\\rig", nullptr);
  if (wanted("monitor")) bench::BenchMonitor(report);
  if (wanted("scan")) bench::BenchScan(report);
  if (wanted("extract")) bench::BenchExtract(report, builds);
  return 0;
}

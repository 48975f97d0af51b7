// Shared by the benchmark driver's parts: the staged camera, the figures and
// how each is written to the results file the shell script tabulates.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

constexpr char kCamera[] = "Veltra QV7 USB2.0 Camera";
constexpr char kMonitorCaption[] = "Rotasync(VT4R88x)";
constexpr char kBareFloorCaption[] = "Bindora sync floor (bare)";
constexpr char kMandatedFloorCaption[] = "Bindora sync floor (mandated)";
constexpr char kManifestFloorCaption[] = "Bindora sync floor (mandated, manifest)";

// One line of the table. An empty baseline means the figure stands alone.
struct Row {
  std::string name;
  double measured = 0;
  double baseline = -1;  // < 0: none
  std::string unit;
  std::string target;
  bool met = false;
  double ratio = -1;  // < 0: measured / baseline
};

class Report {
 public:
  explicit Report(std::string path) : path_(std::move(path)) {}
  void Add(const Row& row);
  void Note(const std::string& text);  // printed under the table

 private:
  void Append(const std::string& line);
  std::string path_;
};

double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);

// Parts of the run, each leaving the prefix as it found it.
void BenchMonitor(Report& report);
void BenchScan(Report& report);
struct ExtractBuilds {
  std::string setupLarge, setupSmall;  // setup.exe carrying each payload
  std::string payloadLarge;            // the large payload's own file
  DWORD sizeLarge = 0, sizeSmall = 0;
};
void BenchExtract(Report& report, const ExtractBuilds& builds);

}  // namespace bench

// A device's hardware-identifier property as any bytes of any reported size,
// then every device of a scan as hostile first identifiers.
#include <cstring>
#include <memory>
#include <vector>

#include "core/hardware_id.h"
#include "fuzz_input.h"

namespace {

core::ModuleConfig Config() {
  core::ModuleConfig config{};
  std::strcpy(config.vendor, "1D6B");
  std::strcpy(config.a.codes[0], "0A01");
  std::strcpy(config.a.codes[1], "0A02");
  std::strcpy(config.b.codes[0], "0B01");
  return config;
}

// Devices whose first identifiers live in buffers of exactly their own size.
class Devices final : public core::DeviceSource {
 public:
  explicit Devices(std::vector<std::vector<char>> ids) : ids_(std::move(ids)) {}
  bool Open() override { return true; }
  bool Device(std::uint32_t index, const char** first) override {
    if (index >= ids_.size()) return false;
    *first = ids_[index].empty() ? nullptr : ids_[index].data();
    return true;
  }
  void Close() override {}

 private:
  std::vector<std::vector<char>> ids_;
};

class Sink final : public core::IdentifierSink {
 public:
  void Clear() override { count = 0; }
  void Add(const char* id) override { count += id[0] != '\0'; }
  std::size_t count = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput in(data, size);
  const core::ModuleConfig config = Config();

  // The property as the platform returned it, in a buffer two bytes larger.
  const std::size_t reported = std::size_t(in.Byte()) << 8 | in.Byte();
  const std::vector<unsigned char> raw = in.Piece();
  const std::size_t capacity = raw.size() + core::kPropertySpare;
  std::unique_ptr<char[]> buffer(new char[capacity]);
  if (!raw.empty()) std::memcpy(buffer.get(), raw.data(), raw.size());
  core::TerminateMultiString(buffer.get(), capacity, reported);
  const std::size_t count = core::CountMultiString(buffer.get(), capacity);
  std::unique_ptr<const char*[]> list(new const char*[count + 2]);
  core::SplitMultiString(buffer.get(), capacity, list.get(), count);
  if (list[0] != buffer.get() || list[count + 1] != nullptr) __builtin_trap();
  for (std::size_t i = 1; i <= count; ++i) {
    core::IsUsbIdentifier(list[i]);
    core::VendorMatches(list[i], config.vendor);
    core::TableMatches(list[i], config.a);
  }

  std::vector<std::vector<char>> ids;
  while (!in.Empty() && ids.size() < 16) {
    const std::vector<unsigned char> piece = in.Piece();
    std::vector<char> id(piece.begin(), piece.end());
    if (!id.empty()) id.back() = '\0';  // identifiers come terminated; no byte to spare
    ids.push_back(std::move(id));
  }
  Devices devices(std::move(ids));
  Sink sink;
  core::ModuleFlags flags{false, false};
  core::ScanModules(devices, config, sink, &flags);
  return 0;
}

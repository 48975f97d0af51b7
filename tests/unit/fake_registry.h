// An in-memory HKEY_LOCAL_MACHINE for the core's lookups: keys by path
// (case-insensitive, as the platform compares them), values as raw bytes, and
// a journal of every open and query so tests can see what was touched.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/driver_registry_rules.h"

class FakeRegistry final : public core::RegistryHost {
 public:
  using Bytes = std::vector<unsigned char>;

  // Host behaviour of Windows 7 and later: both view flags in one mask are refused.
  bool rejectBothViews = false;

  void AddKey(const std::string& path) { keys_[Fold(path)]; }
  void SetBytes(const std::string& path, const std::string& name, Bytes bytes) {
    keys_[Fold(path)][name] = std::move(bytes);
  }
  void RemoveValue(const std::string& path, const std::string& name) {
    keys_[Fold(path)].erase(name);
  }
  void SetText(const std::string& path, const std::string& name, const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    SetBytes(path, name, bytes);
  }
  void SetDword(const std::string& path, const std::string& name, std::uint32_t v) {
    SetBytes(path, name,
             {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
              static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)});
  }

  struct Opened {
    std::string path;
    std::uint32_t mask;
  };
  std::vector<Opened> opens;
  std::vector<std::string> queries;
  int openKeys = 0;

  core::OpenStatus Open(const char* path, std::uint32_t mask, Key* key) override {
    opens.push_back({path, mask});
    const std::uint32_t both = core::kKeyWow64_32Key | core::kKeyWow64_64Key;
    if (rejectBothViews && (mask & both) == both) return core::OpenStatus::Rejected;
    auto it = keys_.find(Fold(path));
    if (it == keys_.end()) return core::OpenStatus::Failed;
    handles_.push_back(&*it);
    *key = handles_.size();
    ++openKeys;
    return core::OpenStatus::Opened;
  }

  bool Query(Key key, const char* name, void* data, std::uint32_t capacity,
             std::uint32_t* size) override {
    queries.push_back(name);
    const auto& values = handles_.at(key - 1)->second;
    auto it = values.find(name);
    if (it == values.end() || it->second.size() > capacity) return false;
    if (!it->second.empty()) std::memcpy(data, it->second.data(), it->second.size());
    *size = static_cast<std::uint32_t>(it->second.size());
    return true;
  }

  void Close(Key) override { --openKeys; }

  bool Queried(const std::string& name) const {
    return std::find(queries.begin(), queries.end(), name) != queries.end();
  }

 private:
  static std::string Fold(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
  }
  std::map<std::string, std::map<std::string, Bytes>> keys_;
  std::vector<std::pair<const std::string, std::map<std::string, Bytes>>*> handles_;
};

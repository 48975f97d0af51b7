// Owners for the platform's handles, keys and COM pointers: one move-only
// type per kind, released in the destructor, GetLastError kept intact across
// the release so callers can still read why an operation failed.
#pragma once

#include <windows.h>

#include <utility>

namespace win {

template <typename Traits>
class unique_any {
 public:
  using pointer = typename Traits::pointer;

  unique_any() = default;
  explicit unique_any(pointer value) : value_(value) {}
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  ~unique_any() { reset(); }

  pointer get() const { return value_; }
  explicit operator bool() const { return Traits::is_valid(value_); }

  // Address for an out-parameter; whatever was held is released first.
  pointer* put() {
    reset();
    return &value_;
  }

  pointer release() {
    pointer value = value_;
    value_ = Traits::invalid();
    return value;
  }

  void reset(pointer value = Traits::invalid()) {
    if (Traits::is_valid(value_)) {
      const DWORD error = GetLastError();
      Traits::close(value_);
      SetLastError(error);
    }
    value_ = value;
  }

 private:
  pointer value_ = Traits::invalid();
};

// Kernel handles: both NULL and INVALID_HANDLE_VALUE mean "none".
struct handle_traits {
  using pointer = HANDLE;
  static pointer invalid() { return nullptr; }
  static bool is_valid(pointer h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void close(pointer h) { CloseHandle(h); }
};

struct hkey_traits {
  using pointer = HKEY;
  static pointer invalid() { return nullptr; }
  static bool is_valid(pointer h) { return h != nullptr; }
  static void close(pointer h) { RegCloseKey(h); }
};

// What the platform hands out with LocalAlloc (descriptors, SID strings).
struct hlocal_traits {
  using pointer = HLOCAL;
  static pointer invalid() { return nullptr; }
  static bool is_valid(pointer h) { return h != nullptr; }
  static void close(pointer h) { LocalFree(h); }
};

using unique_handle = unique_any<handle_traits>;
using unique_event = unique_any<handle_traits>;
using unique_mutex = unique_any<handle_traits>;
using unique_hkey = unique_any<hkey_traits>;
using unique_hlocal = unique_any<hlocal_traits>;

// A COM interface pointer, released when the owner goes.
template <typename T>
class com_ptr {
 public:
  com_ptr() = default;
  com_ptr(const com_ptr&) = delete;
  com_ptr& operator=(const com_ptr&) = delete;
  com_ptr(com_ptr&& other) noexcept : p_(other.detach()) {}
  com_ptr& operator=(com_ptr&& other) noexcept {
    if (this != &other) attach(other.detach());
    return *this;
  }
  ~com_ptr() { reset(); }

  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }

  void attach(T* p) {
    reset();
    p_ = p;
  }
  T* detach() { return std::exchange(p_, nullptr); }
  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  template <typename U>
  HRESULT query(REFIID iid, com_ptr<U>* out) const {
    return p_->QueryInterface(iid, out->put_void());
  }

 private:
  T* p_ = nullptr;
};

}  // namespace win

// The programs' entry point, ahead of the C runtime's. It runs before any
// code of the runtime or of the program, and loads no DLL: the loader has
// mapped the image's imports, and everything here calls only kernel32.
//
// MinGW builds: GCC's stack protector compares each protected frame's copy
// of __stack_chk_guard on return and calls __stack_chk_fail on a mismatch.
// libssp, which would supply both, seeds the guard in a runtime constructor
// with CryptGenRandom; that maps rsaenh, which loads bcrypt and crypt32 by
// name, searched for first in the program's own folder, before WinMain could
// restrict the search. A guard changed by a constructor would also no longer
// match the copy main's frame already holds (MinGW runs constructors from
// inside main). So the guard is seeded here, before any protected frame
// exists, the way the platform's C runtime seeds its /GS cookie. MSVC builds
// keep their runtime's cookie, seeded the same way without loading a DLL.
#include <windows.h>

#include <cstdint>

#include "common/win/dll_search.h"

// Both runtimes' entry point of a WinMain program; the platform passes it
// nothing it uses.
extern "C" int WinMainCRTStartup();

#if defined(__GNUC__)
// Not protected themselves: the guard changes while they run.
#define BINDORA_UNPROTECTED __attribute__((no_stack_protector))

extern "C" {

// The names are the compiler's, reserved for exactly this.
// Replaced at every start; this value only marks an unseeded guard.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
std::uintptr_t __stack_chk_guard = static_cast<std::uintptr_t>(0x2B992DDFA232BB40ull);

// A smashed frame must not return, nor run anything an overwrite could have
// reached: no stdio, no abort(), no exception dispatch. The status is the one
// the platform's own runtime ends such a process with.
// NOLINTNEXTLINE(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
[[noreturn]] void __stack_chk_fail() {
  TerminateProcess(GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
  __builtin_trap();
}

}  // extern "C"

namespace {

// The time, the performance counter, the process and thread ids and a stack
// address (which ASLR moves), each folded in whole, then mixed so that every
// bit of them reaches every bit of the guard.
BINDORA_UNPROTECTED std::uintptr_t FreshGuard() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  std::uint64_t mix = (std::uint64_t{now.dwHighDateTime} << 32 | now.dwLowDateTime) ^
                      static_cast<std::uint64_t>(counter.QuadPart) ^
                      (std::uint64_t{GetCurrentProcessId()} << 32 | GetCurrentThreadId()) ^
                      (std::uint64_t{reinterpret_cast<std::uintptr_t>(&counter)} << 16) ^
                      GetTickCount();
  // splitmix64's finaliser: a bijection, so no two inputs give one guard.
  mix = (mix ^ (mix >> 30)) * 0xBF58476D1CE4E5B9ull;
  mix = (mix ^ (mix >> 27)) * 0x94D049BB133111EBull;
  mix ^= mix >> 31;
  auto guard = static_cast<std::uintptr_t>(mix ^ (mix >> 32));
  if (guard == __stack_chk_guard) guard ^= 1;
  return guard;
}

// Stored by the entry point itself, where the image check looks for it.
__attribute__((always_inline)) inline void SeedStackGuard() { __stack_chk_guard = FreshGuard(); }

}  // namespace

#else

#define BINDORA_UNPROTECTED
namespace {
// The runtime seeds its /GS cookie itself.
void SeedStackGuard() {}
}  // namespace

#endif

extern "C" BINDORA_UNPROTECTED int BindoraEntry() {
  SeedStackGuard();
  return WinMainCRTStartup();
}

extern "C" BINDORA_UNPROTECTED int BindoraSystemDllsEntry() {
  SeedStackGuard();
  win::RestrictDllSearch();
  return WinMainCRTStartup();
}

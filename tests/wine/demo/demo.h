// The demo's transcript: each program's part prints what it did.
#pragma once

#include <cstdio>

namespace demo {

void Heading(const char* title);
void DemoVantor();
void DemoSnapPulse();

}  // namespace demo

#define DEMO_SAY(...)         \
  do {                        \
    std::printf(__VA_ARGS__); \
    std::printf("\n");        \
    std::fflush(stdout);      \
  } while (0)

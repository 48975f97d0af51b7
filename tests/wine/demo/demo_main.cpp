// Runs the real programs on a simulated camera and tells what happened.
#include "demo.h"
#include "rig.h"

namespace demo {

void Heading(const char* title) { DEMO_SAY("\n=== %s", title); }

}  // namespace demo

int main() {
  DEMO_SAY("\nvantor, snappulse and rotasync: the %s build, from %s",
           rig::Programs32Bit() ? "shipping i686" : "x86_64", rig::ProgramPath("").c_str());
  if (rig::CurrentHost() == rig::kWin32)
    DEMO_SAY("(on 32-bit Windows: native 32-bit Wine in an emulated i386 userland)");
  else if (rig::CurrentHost() == rig::kWow64)
    DEMO_SAY("(32-bit processes on 64-bit Windows: Wine's classic wow64)");
  demo::DemoVantor();
  demo::DemoSnapPulse();
  demo::DemoRotasync();
  DEMO_SAY("%s", "");
  return 0;
}

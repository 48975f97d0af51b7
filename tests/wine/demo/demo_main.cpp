// Runs the real programs on a simulated camera and tells what happened.
#include "demo.h"

namespace demo {

void Heading(const char* title) { DEMO_SAY("\n=== %s", title); }

}  // namespace demo

int main() {
  demo::DemoVantor();
  demo::DemoSnapPulse();
  DEMO_SAY("%s", "");
  return 0;
}

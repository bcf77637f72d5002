// Pins what tests must not inherit from the machine: the time zone, the locale and the window
// system. Runs before main in every test executable.
#include <cstdlib>
#include <ctime>

namespace {

struct PinEnvironment {
  PinEnvironment() {
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    ::setenv("LC_ALL", "C.UTF-8", 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
} pin;

}  // namespace

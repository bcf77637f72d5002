#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int Macro(const Args&) {
  std::fprintf(stderr, "trimora-cli: not available yet\n");
  return 2;
}

}  // namespace cli

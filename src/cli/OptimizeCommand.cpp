#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int Optimize(const Args&) {
  std::fprintf(stderr, "trimora-cli: not available yet\n");
  return 2;
}

}  // namespace cli

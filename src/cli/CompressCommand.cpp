#include "cli/Commands.h"

#include <cstdio>

namespace cli {

int Compress(const Args&) {
  std::fprintf(stderr, "trimora-cli: not available yet\n");
  return 2;
}

}  // namespace cli

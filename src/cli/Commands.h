// The sub-commands of trimora-cli. Each takes the arguments after its own name and returns
// the process exit status.
#pragma once

#include <string>
#include <vector>

namespace cli {

using Args = std::vector<std::string>;

int Optimize(const Args& args);  // optimize FILE [options]
int Compress(const Args& args);  // compress SITE [--out DIR] [--jobs N] [--json] [options]
int Macro(const Args& args);     // macro ABBREV

}  // namespace cli

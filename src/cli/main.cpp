// trimora-cli: the command-line front end over the same engine the window drives.
#include "cli/Commands.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QCoreApplication::setApplicationName("Trimora");
  if (argc < 2) {
    std::fprintf(stderr, "usage: trimora-cli optimize FILE [options] | compress SITE [options] | macro ABBREV\n");
    return 2;
  }
  cli::Args rest(argv + 2, argv + argc);
  const char* cmd = argv[1];
  if (std::strcmp(cmd, "optimize") == 0) return cli::Optimize(rest);
  if (std::strcmp(cmd, "compress") == 0) return cli::Compress(rest);
  if (std::strcmp(cmd, "macro") == 0) return cli::Macro(rest);
  std::fprintf(stderr, "trimora-cli: unknown command \"%s\"\n", cmd);
  return 2;
}

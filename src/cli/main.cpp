// trimora-cli: the command-line front end over the same engine the window drives.
#include <cstdio>

int main(int argc, char** argv) {
  (void)argv;
  if (argc < 2) {
    std::fprintf(stderr, "usage: trimora-cli optimize FILE [options]\n");
    return 2;
  }
  return 2;
}

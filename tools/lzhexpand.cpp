// lzhexpand INPUT OUTPUT: expands one LZH compressed file with the installer's own driver.
//
// Success: exit 0, nothing printed. Failure: the driver's or decoder's message on stderr, exit 1,
// and no OUTPUT left behind once it had been created. Wrong usage: exit 2.
#include <cstdio>
#include <cstring>
#include <exception>

#include "expander/expand_file.h"

namespace {

constexpr const char* kUsage = "usage: lzhexpand INPUT OUTPUT\n";

void PrintHelp() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "Expands INPUT, a file in the LZH compressed format (\"!HZL\" header), into OUTPUT.\n"
      "OUTPUT is replaced; after a failure no OUTPUT is left behind.\n"
      "  --help     show this text\n"
      "  --version  show the version\n"
      "Exit status: 0 success, 1 failure (message on stderr), 2 wrong usage.\n",
      stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    PrintHelp();
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("lzhexpand %s\n", BRANNOCK_VERSION);
    return 0;
  }
  if (argc != 3 || (argv[1][0] == '-' && argv[1][1] == '-')) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  ExpandSourceName = argv[1];
  ExpandTargetName = argv[2];
  try {
    DoExpandFile();
    return 0;
  } catch (const Exception& error) {
    std::fprintf(stderr, "%s\n", error.Message().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "lzhexpand: %s\n", error.what());
  }
  return 1;
}

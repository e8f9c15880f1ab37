// lzhexpand INPUT OUTPUT: expands one LZH compressed file with the installer's own driver.
//
// Success: exit 0, nothing printed. Failure: the driver's or decoder's message on stderr, exit 1,
// and no OUTPUT left behind once it had been created. Wrong usage: exit 2.
//
// The driver writes as many bytes as the header announces (up to 2 GiB - 1, whatever the size of
// INPUT). So that no partial OUTPUT survives what can stop such a run:
// - a file size limit (ulimit -f) makes the write fail instead of killing the process, and the
//   driver then removes OUTPUT as after any failed write;
// - an interrupt (SIGINT, SIGTERM, SIGHUP) removes OUTPUT once the driver has created it, then
//   ends the process by the same signal.
// OUTPUT naming the same file as INPUT is refused before either file is opened.
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "expander/expand_file.h"

namespace {

constexpr const char* kUsage = "usage: lzhexpand INPUT OUTPUT\n";

void PrintHelp() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "Expands INPUT, a file in the LZH compressed format (\"!HZL\" header), into OUTPUT.\n"
      "OUTPUT is replaced; after a failure no OUTPUT is left behind. OUTPUT must not be INPUT.\n"
      "  --help     show this text\n"
      "  --version  show the version\n"
      "Exit status: 0 success, 1 failure (message on stderr), 2 wrong usage.\n",
      stdout);
}

// OUTPUT's path, for the signal handler, which may only call async-signal-safe functions.
char g_target[4096];

extern "C" void RemoveTargetAndDie(int signal_number) {
  // The driver holds the target's handle from its creation until it is complete and closed, or
  // removed after a failure.
  if (*static_cast<volatile FileHandle*>(&TargetHandle) > 0) unlink(g_target);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void InstallSignalHandlers(const std::string& target) {
  std::snprintf(g_target, sizeof g_target, "%s", target.c_str());
  std::signal(SIGXFSZ, SIG_IGN);
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    std::signal(signal_number, RemoveTargetAndDie);
  }
}

// Whether both paths name one existing file (the same path, a link, a hard link).
bool SameFile(const char* input, const char* output) {
  struct stat in, out;
  return stat(input, &in) == 0 && stat(output, &out) == 0 && in.st_dev == out.st_dev &&
         in.st_ino == out.st_ino;
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
  if (std::strlen(argv[2]) >= sizeof g_target) {
    std::fprintf(stderr, "lzhexpand: %s: name too long\n", argv[2]);
    return 1;
  }
  if (SameFile(argv[1], argv[2])) {
    std::fprintf(stderr, "lzhexpand: %s: is the input file; give another OUTPUT\n", argv[2]);
    return 1;
  }
  ExpandSourceName = argv[1];
  ExpandTargetName = argv[2];
  InstallSignalHandlers(ExpandTargetName);
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

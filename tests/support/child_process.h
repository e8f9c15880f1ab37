// Running a host tool as a child process, for the tests of the command-line tools (POSIX hosts
// only): its standard output and error go to files in a log folder and come back as strings.
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

#include "test_support.h"

struct ChildOutcome {
  bool exited = false;  // ended by exit(), not by a signal
  int exit_code = -1;   // -1 when ended by a signal
  int signal = 0;
  std::string out;
  std::string err;
};

struct ChildSettings {
  int stdin_fd = -1;                 // the child's standard input; -1: /dev/null
  rlim_t file_size = RLIM_INFINITY;  // the child's RLIMIT_FSIZE
};

// Starts argv[0] with the rest as its arguments. Standard output and error go to stdout.txt and
// stderr.txt in `logs`; SIGXFSZ is left at its default, as a shell would leave it, and a CPU
// limit of 120 s keeps a hung child from outliving the test by much. Returns the pid, -1 when
// the process cannot be made.
pid_t StartChild(const std::vector<std::string>& argv, const ScratchDir& logs,
                 const ChildSettings& settings = {});

// Waits for the child, at most `deadline` (a child still running then is killed and the test
// fails), and collects what it printed; the two log files are removed.
ChildOutcome FinishChild(pid_t pid, const ScratchDir& logs,
                         std::chrono::seconds deadline = std::chrono::seconds(120));

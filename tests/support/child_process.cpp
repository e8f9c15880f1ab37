#include "child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <thread>

pid_t StartChild(const std::vector<std::string>& argv, const ScratchDir& logs,
                 const ChildSettings& settings) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const std::string out = logs.File("stdout.txt"), err = logs.File("stderr.txt");
  pid_t pid = fork();
  if (pid == 0) {
    int in_fd = settings.stdin_fd >= 0 ? settings.stdin_fd : open("/dev/null", O_RDONLY);
    int out_fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    int err_fd = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in_fd < 0 || out_fd < 0 || err_fd < 0 || dup2(in_fd, 0) < 0 || dup2(out_fd, 1) < 0 ||
        dup2(err_fd, 2) < 0) {
      _exit(126);
    }
    rlimit file_size{settings.file_size, settings.file_size};
    rlimit cpu{120, 120};
    if (setrlimit(RLIMIT_FSIZE, &file_size) != 0 || setrlimit(RLIMIT_CPU, &cpu) != 0) _exit(126);
    signal(SIGXFSZ, SIG_DFL);
    execv(args[0], args.data());
    _exit(127);
  }
  return pid;
}

ChildOutcome FinishChild(pid_t pid, const ScratchDir& logs, std::chrono::seconds deadline) {
  ChildOutcome outcome;
  if (pid < 0) return outcome;
  auto give_up = std::chrono::steady_clock::now() + deadline;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > give_up) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "the tool did not end within " << deadline.count() << " s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  outcome.exited = WIFEXITED(status);
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  outcome.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  Bytes out = ReadBytes(logs.File("stdout.txt")), err = ReadBytes(logs.File("stderr.txt"));
  outcome.out.assign(out.begin(), out.end());
  outcome.err.assign(err.begin(), err.end());
  std::remove(logs.File("stdout.txt").c_str());
  std::remove(logs.File("stderr.txt").c_str());
  return outcome;
}

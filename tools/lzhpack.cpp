// lzhpack [--best] [-v] INPUT OUTPUT: compresses one file into the LZH format ("!HZL" header),
// the format the installer expands.
//
// "-" stands for standard input or standard output. OUTPUT is written to a temporary file in
// the same folder and renamed over OUTPUT only when it is complete, so a failed or interrupted
// run never leaves a partial OUTPUT. Success: exit 0 (with -v one line of sizes on stderr).
// Failure: one line naming the file on stderr, exit 1. Wrong usage: exit 2.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "packer/lzh_pack.h"

namespace {

constexpr const char* kUsage = "usage: lzhpack [--best] [-v] INPUT OUTPUT\n";

void PrintHelp() {
  std::fputs(kUsage, stdout);
  std::fputs(
      "Compresses INPUT into OUTPUT in the LZH compressed format (\"!HZL\" header), which\n"
      "lzhexpand and the installer expand. \"-\" as INPUT reads standard input, as OUTPUT\n"
      "writes standard output. OUTPUT is replaced only once it is complete.\n"
      "  --best     smallest output: optimal parsing priced with the adaptive code (slower)\n"
      "  -v         print the sizes and the ratio on stderr\n"
      "  --help     show this text\n"
      "  --version  show the version\n"
      "Inputs of 2 GiB or more cannot be stored in the format and are refused.\n"
      "Exit status: 0 success, 1 failure (message on stderr), 2 wrong usage.\n",
      stdout);
}

// A failure of the tool itself: the message is printed after "lzhpack: NAME: ".
BRANNOCK_EXCEPTION_CLASS(EToolError, Exception);

std::string DisplayName(const std::string& path, const char* standard) {
  return path == "-" ? standard : path;
}

[[noreturn]] void RaiseSystemError(const std::string& name, const char* what, int error) {
  Raise<EToolError>(name + ": " + what + ": " + std::strerror(error));
}

// The temporary output, removed by the signal handler when the run is interrupted. A fixed
// buffer, since the handler may only call async-signal-safe functions.
char g_temporary[4096];
volatile std::sig_atomic_t g_temporary_live = 0;

extern "C" void RemoveTemporaryAndDie(int signal_number) {
  if (g_temporary_live) unlink(g_temporary);
  std::signal(signal_number, SIG_DFL);
  std::raise(signal_number);
}

void InstallSignalHandlers() {
  for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    std::signal(signal_number, RemoveTemporaryAndDie);
  }
}

// --- input --------------------------------------------------------------------------------------

class FileInput : public PackInput {
 public:
  FileInput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t count) override {
    for (;;) {
      ssize_t got = read(fd_, buffer, count);
      if (got >= 0) return static_cast<std::size_t>(got);
      if (errno != EINTR) RaiseSystemError(name_, "cannot read", errno);
    }
  }

 private:
  int fd_;
  std::string name_;
};

[[noreturn]] void RaiseTooLarge(const std::string& name) {
  Raise<EToolError>(name + ": too large: the format holds at most " + std::to_string(MaxPackSize) +
                    " bytes (2 GiB - 1)");
}

// Reads a pipe or terminal to its end; the format needs the size before the data.
std::vector<std::uint8_t> ReadAll(int fd, const std::string& name) {
  std::vector<std::uint8_t> bytes;
  FileInput input(fd, name);
  std::size_t used = 0;
  for (;;) {
    // Grow geometrically, but never past one byte more than the format can hold.
    if (bytes.size() - used < (1 << 16)) {
      bytes.resize(std::min<std::size_t>(used + std::max<std::size_t>(used, 1 << 20),
                                         static_cast<std::size_t>(MaxPackSize) + 1));
    }
    std::size_t got = input.Read(bytes.data() + used, bytes.size() - used);
    if (got == 0) break;
    used += got;
    if (used > static_cast<std::size_t>(MaxPackSize)) RaiseTooLarge(name);
  }
  bytes.resize(used);
  return bytes;
}

// --- output -------------------------------------------------------------------------------------

class FileOutput : public PackOutput {
 public:
  FileOutput(int fd, std::string name) : fd_(fd), name_(std::move(name)) {}
  void Write(const std::uint8_t* data, std::size_t count) override {
    while (count > 0) {
      ssize_t put = write(fd_, data, count);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) RaiseSystemError(name_, "cannot write", put < 0 ? errno : ENOSPC);
      data += put;
      count -= static_cast<std::size_t>(put);
    }
  }

 private:
  int fd_;
  std::string name_;
};

// The temporary file beside OUTPUT: ".NAME.XXXXXX" in OUTPUT's folder. Removed unless Commit
// renamed it over OUTPUT.
class TemporaryOutput {
 public:
  explicit TemporaryOutput(const std::string& target) : target_(target) {
    struct stat info;
    if (stat(target.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
      Raise<EToolError>(target + ": is a folder");
    }
    std::string::size_type slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string pattern = folder + "." + base + ".XXXXXX";
    if (pattern.size() >= sizeof g_temporary) Raise<EToolError>(target + ": name too long");
    std::memcpy(g_temporary, pattern.c_str(), pattern.size() + 1);
    fd_ = mkstemp(g_temporary);
    if (fd_ < 0) RaiseSystemError(target, "cannot create", errno);
    g_temporary_live = 1;
    path_ = g_temporary;
  }

  ~TemporaryOutput() {
    if (fd_ >= 0) close(fd_);
    if (!path_.empty()) {
      g_temporary_live = 0;
      unlink(path_.c_str());
    }
  }

  int Descriptor() const { return fd_; }

  // Makes the file durable, gives it the permissions of a newly created file and puts it in
  // place of OUTPUT.
  void Commit() {
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd_, 0666 & ~mask) != 0) RaiseSystemError(target_, "cannot set permissions", errno);
    if (fsync(fd_) != 0) RaiseSystemError(target_, "cannot write", errno);
    int closed = close(fd_);
    fd_ = -1;
    if (closed != 0) RaiseSystemError(target_, "cannot write", errno);
    if (rename(path_.c_str(), target_.c_str()) != 0) {
      RaiseSystemError(target_, "cannot replace", errno);
    }
    g_temporary_live = 0;
    path_.clear();
  }

 private:
  std::string target_;
  std::string path_;
  int fd_ = -1;
};

// --- the run ------------------------------------------------------------------------------------

struct Options {
  PackMode mode = PackMode::Default;
  bool verbose = false;
  std::string input;
  std::string output;
};

// INPUT, opened: standard input or a file that is not a folder. Closes the file at the end.
class OpenInput {
 public:
  explicit OpenInput(const std::string& path) : name_(DisplayName(path, "standard input")) {
    if (path != "-") {
      fd_ = open(path.c_str(), O_RDONLY);
      if (fd_ < 0) RaiseSystemError(name_, "cannot open", errno);
    }
    if (fstat(fd_, &info_) != 0) RaiseSystemError(name_, "cannot read", errno);
    if (S_ISDIR(info_.st_mode)) Raise<EToolError>(name_ + ": is a folder");
    if (S_ISREG(info_.st_mode) && info_.st_size > MaxPackSize) RaiseTooLarge(name_);
  }
  ~OpenInput() {
    if (fd_ > 0) close(fd_);
  }
  OpenInput(const OpenInput&) = delete;
  OpenInput& operator=(const OpenInput&) = delete;

  const std::string& Name() const { return name_; }

  // Compresses the whole input into output; size receives the input size.
  PackStats PackTo(PackOutput& output, PackMode mode, std::int64_t& size) {
    try {
      if (S_ISREG(info_.st_mode)) {
        // A regular file streams through the compressor; its size is known up front.
        size = info_.st_size;
        FileInput input(fd_, name_);
        PackStats stats = LZHPack(size, input, output, mode);
        std::uint8_t extra;
        if (input.Read(&extra, 1) != 0) Raise<EToolError>(name_ + ": changed while being read");
        return stats;
      }
      // A pipe or terminal is read to its end first: the header needs the size.
      std::vector<std::uint8_t> bytes = ReadAll(fd_, name_);
      size = static_cast<std::int64_t>(bytes.size());
      SpanInput input(bytes);
      return LZHPack(size, input, output, mode);
    } catch (const ELzhPackError& error) {
      Raise<EToolError>(name_ + ": " + error.Message());
    }
  }

 private:
  std::string name_;
  int fd_ = 0;
  struct stat info_;
};

int Run(const Options& options) {
  InstallSignalHandlers();
  OpenInput input(options.input);
  std::int64_t size = 0;
  PackStats stats;
  if (options.output == "-") {
    if (isatty(STDOUT_FILENO)) {
      Raise<EToolError>("standard output: is a terminal; compressed data is not written there");
    }
    FileOutput output(STDOUT_FILENO, "standard output");
    stats = input.PackTo(output, options.mode, size);
  } else {
    TemporaryOutput temporary(options.output);
    FileOutput output(temporary.Descriptor(), options.output);
    stats = input.PackTo(output, options.mode, size);
    temporary.Commit();
  }
  if (options.verbose) {
    double ratio = size > 0 ? 100.0 * static_cast<double>(stats.compressed_bytes) / size : 0.0;
    std::fprintf(stderr, "%s: %lld -> %llu bytes (%.2f%%), %llu literals, %llu matches\n",
                 input.Name().c_str(), static_cast<long long>(size),
                 static_cast<unsigned long long>(stats.compressed_bytes), ratio,
                 static_cast<unsigned long long>(stats.literals),
                 static_cast<unsigned long long>(stats.matches));
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  std::vector<std::string> names;
  bool options_end = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (options_end || arg == "-" || arg.empty() || arg[0] != '-') {
      names.push_back(arg);
    } else if (arg == "--") {
      options_end = true;
    } else if (arg == "--help") {
      PrintHelp();
      return 0;
    } else if (arg == "--version") {
      std::printf("lzhpack %s\n", BRANNOCK_VERSION);
      return 0;
    } else if (arg == "--best") {
      options.mode = PackMode::Best;
    } else if (arg == "-v" || arg == "--verbose") {
      options.verbose = true;
    } else {
      std::fprintf(stderr, "lzhpack: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
    }
  }
  if (names.size() != 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  options.input = names[0];
  options.output = names[1];
  try {
    return Run(options);
  } catch (const Exception& error) {
    std::fprintf(stderr, "lzhpack: %s\n", error.Message().c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "lzhpack: %s\n", error.what());
  }
  return 1;
}

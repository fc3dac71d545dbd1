// Running a program as a user would, and a scratch directory to run it in.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "support/child_arguments.h"

struct CommandResult {
  int exitCode = -1;  // -1 when it did not exit normally
  std::string out, err;
};

// A file's bytes; empty when it cannot be read.
inline std::string contentsOf(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// Runs argv[0] in `directory` (the current one if empty) with `environment` laid over ours.
inline CommandResult runCommand(const std::vector<std::string>& argv,
                                const std::filesystem::path& directory = {},
                                const std::map<std::string, std::string>& environment = {}) {
  // Everything the child needs is prepared here: after fork only async-signal-safe calls.
  const ChildArguments child(argv, environment);
  std::string cwd = directory.string();
  FILE *out = std::tmpfile(), *err = std::tmpfile();
  if (!out || !err) return {};
  const int outFd = fileno(out), errFd = fileno(err);
  pid_t pid = fork();
  if (pid == 0) {
    if ((!cwd.empty() && chdir(cwd.c_str()) != 0) || dup2(outFd, 1) < 0 || dup2(errFd, 2) < 0) _exit(127);
    child.exec();
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  auto slurp = [](FILE* file) {  // opened again by a name of its own, so from the start
    std::string text = contentsOf("/proc/self/fd/" + std::to_string(fileno(file)));
    std::fclose(file);
    return text;
  };
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(out), slurp(err)};
}

// Everything a program keeps per user (home, configuration, caches, data, run-time files and
// temporary files) inside `root`, whatever the calling environment says, so that it neither sees nor
// disturbs another instance of itself or the user's own settings.
inline std::map<std::string, std::string> privateUserEnvironment(const std::filesystem::path& root) {
  const std::filesystem::path home = root / "home", run = root / "run", tmp = root / "tmp";
  for (const auto& directory : {home, run, tmp}) std::filesystem::create_directories(directory);
  std::filesystem::permissions(run, std::filesystem::perms::owner_all);
  return {{"HOME", home},
          {"XDG_CONFIG_HOME", home / ".config"},
          {"XDG_CACHE_HOME", home / ".cache"},
          {"XDG_DATA_HOME", home / ".local/share"},
          {"XDG_STATE_HOME", home / ".local/state"},
          {"XDG_RUNTIME_DIR", run},
          {"TMPDIR", tmp}};
}

// How a command ended, in words, with everything it printed, for a failure message.
inline std::string describe(const std::string& step, const CommandResult& result) {
  const int code = result.exitCode;
  const std::string how = code == -1    ? "killed by a signal"
                          : code == 124 ? "timed out"
                          : code > 128  ? "killed by signal " + std::to_string(code - 128)
                                        : "exit status " + std::to_string(code);
  return step + ": " + how + "\n--- standard output ---\n" + result.out + "--- standard error ---\n" +
         result.err;
}

class ScratchDirectory {
 public:
  ScratchDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "fadecrest-test-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
      throw std::runtime_error("cannot make " + pattern + ": " + std::strerror(errno));
    path_ = pattern;
  }
  ~ScratchDirectory() { std::filesystem::remove_all(path_); }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

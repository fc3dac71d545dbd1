// Ardour's command-line tools as the tests run them.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "command.h"

// Every child is wrapped in timeout(1) so a wedged engine fails its test, naming the step, before
// the test runner gives up on the whole run. A step takes a few seconds on an idle machine and
// several times that on a loaded one, or when Ardour's libraries are first read from disk.
inline CommandResult runBounded(std::vector<std::string> argv,
                                const std::map<std::string, std::string>& environment) {
  argv.insert(argv.begin(), {"/usr/bin/timeout", "-k", "10", "120"});
  return runCommand(argv, {}, environment);
}

// Runs the Lua session tool to build `session` anew. Now and then the tool dies from a signal while
// it tears its engine down on a busy machine (seen once in about fifteen runs, always after the
// session was saved); one more try tells that apart from a build that really fails. timeout(1)
// passes such a death on by dying from the same signal or as 128 + the signal, and answers 124
// when it had to stop the tool.
inline CommandResult buildSession(const std::vector<std::string>& argv, const std::filesystem::path& session,
                                  const std::map<std::string, std::string>& environment) {
  CommandResult build;
  for (int attempt = 0; attempt < 2; ++attempt) {
    std::filesystem::remove_all(session);
    build = runBounded(argv, environment);
    if (build.exitCode == 0 || (build.exitCode != -1 && build.exitCode < 124)) break;
  }
  return build;
}

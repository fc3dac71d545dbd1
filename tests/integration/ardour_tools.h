// Ardour's command-line tools as the tests run them.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "command.h"

const std::string kArdourLua = "/usr/bin/ardour7-lua";
const std::string kArdourScanner = "/usr/lib/ardour7/ardour-vst-scanner";

// Every child is wrapped in timeout(1) so a wedged engine fails its test, naming the step, before
// the test runner gives up on the whole run. A step takes a few seconds on an idle machine and
// several times that on a loaded one, or when Ardour's libraries are first read from disk.
inline CommandResult runBounded(std::vector<std::string> argv,
                                const std::map<std::string, std::string>& environment) {
  argv.insert(argv.begin(), {"/usr/bin/timeout", "-k", "10", "120"});
  return runCommand(argv, {}, environment);
}

// Ardour with everything it keeps per user inside `root`, looking for Linux VST plug-ins in
// `plugins`. A sanitized module brings its runtime in only when loaded: let it start there instead
// of demanding to come first (preloaded, it hangs Ardour's tools at exit), and leave Ardour's own
// leaks alone. Without sanitizers the variable is ignored.
inline std::map<std::string, std::string> ardourEnvironment(const std::filesystem::path& root,
                                                            const std::filesystem::path& plugins) {
  std::map<std::string, std::string> environment = privateUserEnvironment(root);
  environment["LXVST_PATH"] = plugins;
  environment["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";
  return environment;
}

// A folder in `root` that holds this build's module and nothing else, for Ardour to search.
inline std::filesystem::path moduleFolder(const std::filesystem::path& root) {
  const std::filesystem::path plugins = root / "vst";
  std::filesystem::create_directories(plugins);
  std::filesystem::create_symlink(std::filesystem::canonical(FADECREST_MODULE_PATH),
                                  plugins / "fadecrest.so");
  return plugins;
}

// Ardour's VST scanner loads `module` and writes what it found into an XML index under
// $HOME/.cache/ardour7/vst/, one <VST2Info .../> element per effect; Ardour's other tools only read
// that index. Then checks that the index names the module and Fadecrest, a stereo effect with its
// own editor, as the only effect in it.
inline void scanAsArdourDoes(const std::filesystem::path& module,
                             std::map<std::string, std::string> environment) {
  environment["LD_LIBRARY_PATH"] = "/usr/lib/ardour7";
  CommandResult scan = runBounded({kArdourScanner, module}, environment);
  ASSERT_EQ(scan.exitCode, 0) << describe("scanning the module with " + kArdourScanner, scan);

  std::vector<std::filesystem::path> indexes;
  const std::filesystem::path cache = std::filesystem::path(environment["HOME"]) / ".cache/ardour7/vst";
  if (std::filesystem::is_directory(cache))
    for (const auto& entry : std::filesystem::directory_iterator(cache))
      if (entry.path().extension() == ".v2i") indexes.push_back(entry.path());
  ASSERT_EQ(indexes.size(), 1u) << describe("no index written", scan);
  const std::string xml = contentsOf(indexes[0]);

  const auto attributes = [](const std::string& element) {
    std::map<std::string, std::string> found;
    static const std::regex attribute(R"re((\w+)="([^"]*)")re");
    for (std::sregex_iterator it(element.begin(), element.end(), attribute), end; it != end; ++it)
      found[(*it)[1]] = (*it)[2];
    return found;
  };
  std::smatch cacheElement, infoElement;
  ASSERT_TRUE(std::regex_search(xml, cacheElement, std::regex("<VST2Cache [^>]*>"))) << xml;
  EXPECT_EQ(attributes(cacheElement[0])["binary"], module.string());
  ASSERT_TRUE(std::regex_search(xml, infoElement, std::regex("<VST2Info [^>]*>"))) << xml;
  EXPECT_EQ(xml.find("<VST2Info ", infoElement.position(0) + 1), std::string::npos)
      << "more than one effect: " << xml;

  auto info = attributes(infoElement[0]);
  std::string seen;
  for (const char* name : {"id", "name", "creator", "category", "n_inputs", "n_outputs", "is_instrument",
                           "can_process_replace", "has_editor"})
    seen += std::string(name) + "=" + info[name] + " ";
  EXPECT_EQ(seen,
            "id=" + std::to_string(0x66343038) +
                " name=Fadecrest creator=Corvenna category=Effect n_inputs=2 n_outputs=2 is_instrument=0 "
                "can_process_replace=1 has_editor=1 ");
}

// One more try for an Ardour tool that hung or died from a signal, as they now and then do on a busy
// machine (the session tool while tearing its engine down; the export tool waiting for its butler
// for ever, no plug-in frame on any stack); a fault of the plug-in fails the second try too.
// timeout(1) answers 124 when it stopped the tool, and passes on a death from signal N as its own or 128 + N.
template <typename Run>
CommandResult withSecondTry(Run run) {
  CommandResult result = run();
  if (result.exitCode == -1 || result.exitCode >= 124) result = run();
  return result;
}

// Runs the Lua session tool to build `session` anew.
inline CommandResult buildSession(const std::vector<std::string>& arguments,
                                  const std::filesystem::path& session,
                                  const std::map<std::string, std::string>& environment) {
  std::vector<std::string> argv{kArdourLua, FADECREST_ARDOUR_SCRIPT, session, "fadecrest"};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  return withSecondTry([&] {
    std::filesystem::remove_all(session);
    return runBounded(argv, environment);
  });
}

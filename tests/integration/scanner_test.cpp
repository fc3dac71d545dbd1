// A real host's view: Ardour's VST scanner loads the module and writes what it found into an
// XML index under $HOME/.cache/ardour7/vst/, one <VST2Info .../> element per effect.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "command.h"

namespace {

const std::string kScanner = "/usr/lib/ardour7/ardour-vst-scanner";

std::map<std::string, std::string> attributes(const std::string& element) {
  std::map<std::string, std::string> found;
  static const std::regex attribute(R"re((\w+)="([^"]*)")re");
  for (std::sregex_iterator it(element.begin(), element.end(), attribute), end; it != end; ++it)
    found[(*it)[1]] = (*it)[2];
  return found;
}

TEST(ArdourScanner, IndexesTheModuleAsAStereoEffect) {
  if (access(kScanner.c_str(), X_OK) != 0) GTEST_SKIP() << kScanner << " is not installed";
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the scanner cannot load a thread-sanitized module: the runtime must be preloaded, "
                  "and preloaded it deadlocks the scanner at exit";
#endif
  ScratchDirectory scratch;
  const std::filesystem::path home = scratch / "home";
  // A sanitized module brings its runtime in only when loaded: let it start there instead of
  // demanding to come first (preloading it hangs the scanner at exit), and leave the scanner's
  // own leaks alone. Without sanitizers the variable is ignored.
  std::map<std::string, std::string> environment = privateUserEnvironment(scratch.path());
  environment["LD_LIBRARY_PATH"] = "/usr/lib/ardour7";
  environment["ASAN_OPTIONS"] = "verify_asan_link_order=0:detect_leaks=0";

  const std::string modulePath = std::filesystem::canonical(FADECREST_MODULE_PATH);
  CommandResult scan = runCommand({kScanner, modulePath}, {}, environment);
  ASSERT_EQ(scan.exitCode, 0) << describe("scanning the module with " + kScanner, scan);

  std::vector<std::filesystem::path> indexes;
  std::filesystem::path cache = home / ".cache/ardour7/vst";
  if (std::filesystem::is_directory(cache))
    for (const auto& entry : std::filesystem::directory_iterator(cache))
      if (entry.path().extension() == ".v2i") indexes.push_back(entry.path());
  ASSERT_EQ(indexes.size(), 1u) << "no index written; scanner said:\n" << scan.out << scan.err;

  std::stringstream text;
  text << std::ifstream(indexes[0]).rdbuf();
  std::smatch cacheElement, infoElement;
  std::string xml = text.str();
  ASSERT_TRUE(std::regex_search(xml, cacheElement, std::regex("<VST2Cache [^>]*>"))) << xml;
  EXPECT_EQ(attributes(cacheElement[0])["binary"], modulePath);
  ASSERT_TRUE(std::regex_search(xml, infoElement, std::regex("<VST2Info [^>]*>"))) << xml;
  EXPECT_EQ(xml.find("<VST2Info ", infoElement.position(0) + 1), std::string::npos)
      << "more than one effect: " << xml;

  auto info = attributes(infoElement[0]);
  EXPECT_EQ(info["id"], std::to_string(0x66343038));
  EXPECT_EQ(info["name"], "Fadecrest");
  EXPECT_EQ(info["creator"], "Corvenna");
  EXPECT_EQ(info["category"], "Effect");
  EXPECT_EQ(info["n_inputs"], "2");
  EXPECT_EQ(info["n_outputs"], "2");
  EXPECT_EQ(info["is_instrument"], "0");
  EXPECT_EQ(info["can_process_replace"], "1");
  EXPECT_EQ(info["has_editor"], "1");
}

}  // namespace

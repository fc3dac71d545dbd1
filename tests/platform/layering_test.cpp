// The one seam to the operating system: only a backend folder under src/platform/ may include an
// operating-system header; the effect, the editor, the toolkit and the seam's own headers compile
// unchanged for every backend.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Headers of Windows, of the X Window System and of POSIX systems, by name or by folder.
bool isOperatingSystemHeader(const std::string& header) {
  static const std::regex pattern(
      R"((windows|windowsx|winuser|wingdi|winbase|windef|winnt|ole2|oleidl|objbase|objidl|shellapi|shlobj|commctrl|)"
      R"(mmsystem|unistd|dlfcn|pthread|fcntl|dirent|poll|termios|sched|semaphore|spawn|libgen|)"
      R"(xcb/.*|X11/.*|sys/.*|linux/.*|mach/.*|Carbon/.*|Cocoa/.*|AppKit/.*|CoreFoundation/.*)\.h)",
      std::regex::icase);
  return std::regex_match(header, pattern);
}

// src/platform/<backend>/...: the only places allowed to include one.
bool isInABackend(const fs::path& relative) {
  auto part = relative.begin();
  return part != relative.end() && *part == "platform" && ++part != relative.end() &&
         ++part != relative.end();
}

std::vector<std::string> includedHeaders(const fs::path& file) {
  static const std::regex include(R"(^\s*#\s*include\s*[<"]([^>"]+)[>"])");
  std::vector<std::string> headers;
  std::ifstream in(file);
  std::smatch match;
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, match, include)) headers.push_back(match[1]);
  return headers;
}

TEST(Layering, OnlyBackendFoldersIncludeOperatingSystemHeaders) {
  const fs::path source = FADECREST_SOURCE_DIR;
  int files = 0;
  for (const auto& entry : fs::recursive_directory_iterator(source)) {
    const fs::path& path = entry.path();
    if (!entry.is_regular_file() || (path.extension() != ".h" && path.extension() != ".cpp")) continue;
    ++files;
    const fs::path relative = fs::relative(path, source);
    if (isInABackend(relative)) continue;
    for (const std::string& header : includedHeaders(path))
      EXPECT_FALSE(isOperatingSystemHeader(header)) << relative.string() << " includes " << header;
  }
  EXPECT_GT(files, 50) << "the sources were not found under " << source;
}

}  // namespace

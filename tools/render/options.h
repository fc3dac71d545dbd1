// Command line of fadecrest-render.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace render {

enum class Precision { Single, Double };

struct Options {
  std::vector<std::string> inputs;    // none: render the built-in test signal; "-": standard input
  std::optional<std::string> output;  // a file, a folder (with -o DIR/ or an existing one), or "-"
  std::optional<std::string> plugin;
  int block = 512;
  Precision precision = Precision::Single;
  std::optional<int> program;
  std::optional<double> intervalSeconds;
  std::optional<double> durationSeconds;
  std::optional<std::string> format;  // "wav", "flac", "aiff", "ogg", "opus" or "mp3"
  std::optional<std::string> bits;    // "16", "24", "32" or "float"
  std::optional<int> bitrate;         // kbit/s, constant, for MP3 and Opus
  std::optional<int> quality;         // LAME's variable quality 0 (best) to 9, for MP3
  std::optional<int> jobs;            // files rendered at once; default: one per core
  bool force = false;                 // replace existing files
  bool dryRun = false;
  bool listPrograms = false;
  std::optional<std::string> editorSnapshot;  // write the editor as PNG instead of rendering audio
  bool about = false;                         // with the snapshot: the about picture open
  bool quiet = false;
  bool help = false;
  bool version = false;
};

// A command line that cannot be run; the message names the offending option.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

Options parseOptions(int argc, char** argv);
std::string usageText();

}  // namespace render

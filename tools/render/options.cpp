#include "options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <span>
#include <utility>

namespace render {
namespace {

template <typename T>
std::optional<T> parseNumber(const std::string& text) {
  T value{};
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (ec != std::errc() || ptr != end) return std::nullopt;
  return value;
}

int parseInt(const std::string& name, const std::string& text, int low, int high) {
  auto value = parseNumber<int>(text);
  if (!value || *value < low || *value > high)
    throw UsageError(name + " must be a whole number from " + std::to_string(low) + " to " +
                     std::to_string(high) + ", not '" + text + "'");
  return *value;
}

double parseSeconds(const std::string& name, const std::string& text, double low, double high) {
  auto value = parseNumber<double>(text);
  if (!value || !std::isfinite(*value) || *value < low || *value > high)
    throw UsageError(name + " must be a number of seconds from " + std::to_string(int(low)) + " to " +
                     std::to_string(int(high)) + ", not '" + text + "'");
  return *value;
}

std::string oneOf(const std::string& name, const std::string& text,
                  std::initializer_list<const char*> choices) {
  std::string list;
  for (const char* choice : choices) {
    if (text == choice) return text;
    list += list.empty() ? choice : std::string("|") + choice;
  }
  throw UsageError(name + " must be one of " + list + ", not '" + text + "'");
}

}  // namespace

std::string usageText() {
  return R"(Usage: fadecrest-render [OPTIONS] [INPUT...]

Renders audio files through the Fadecrest plug-in and writes preview copies: each
INPUT becomes NAME-preview.EXT beside it. Several files are rendered at once, one
per core. "-", a FIFO or <(...) is read whole into a temporary file first. An
input that is where another input's preview goes is that preview, and skipped.
Without INPUT, renders three minutes of a built-in test signal into
fadecrest-preview.wav.

Options:
  -o, --output PATH       the file to write, or with several inputs a folder
                          (end it with /; it is made if missing); "-" writes to
                          standard output (--format needed)
  -y, --force             replace existing files, whole, once the new one is
                          complete (keeping permissions, owner and group; a
                          replaced file is a new file: hard links keep the old)
  -j, --jobs N            files rendered at once, 1..64 (default: one per core)
  -n, --dry-run           read the headers only; show the settings and where the
                          fade windows fall in each file, and which outputs
                          exist; write nothing
      --program N         factory program 0..5 (default: the plug-in's own, 1)
      --interval SECONDS  seconds between fades, 1..60 (applied after the program)
      --duration SECONDS  length of a fade, 1..5 (applied after the program)
      --list-programs     show the plug-in's programs and their settings
      --format F          wav, flac, aiff, ogg, opus or mp3 (default: from the
                          output's extension, otherwise as the input)
      --bits B            16, 24, 32 or float (default: as the input)
      --bitrate KBPS      MP3 or Opus at a constant bit-rate (MP3 32..320 kbit/s)
      --quality Q         MP3 at LAME's variable quality 0 (best) .. 9 (default
                          2, about 190 kbit/s: what LAME holds transparent);
                          Opus defaults to 64 kbit/s a channel. MP3 and Opus
                          hold only some rates: another is resampled after the
                          effect (libsoxr, high quality), and said so
      --precision P       single or double (default single). The plug-in gets
                          32-bit floats in single precision, so 32-bit integer
                          input loses its lowest 8 bits there; double keeps them
      --block N           frames per process call, 1..65536 (default 512)
      --plugin PATH       plug-in module (default: the one installed with this
                          program)
      --editor-snapshot FILE.png  write the plug-in's editor, at the program and
                          values given, as a PNG picture instead of rendering
      --about             with --editor-snapshot: show the about picture
  -q, --quiet             print nothing but errors, clipping and NaN samples
  -h, --help              show this help
  -V, --version           show the version
  --                      what follows is an input, even if it begins with -

Short options go together: -nq is -n -q, -yj2 is -y -j 2.

Exit status: 0 when every file was written whole, 1 when any failed or was cut
short, 2 for a command line that cannot be run, 128 + N after signal N (141
quietly when standard output is closed, as by | head).
)";
}

Options parseOptions(int argc, char** argv) {
  Options options;
  std::span<char*> args(argv + 1, argc > 0 ? argc - 1 : 0);
  bool onlyPositional = false;

  std::string bundled;  // what is left of "-nqy" after its first option
  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = bundled.empty() ? std::string(args[i]) : std::exchange(bundled, {});
    if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
      if (arg.empty()) throw UsageError("an input file name is empty");
      options.inputs.push_back(arg);
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }

    // "--name value", "--name=value", and for the short options with a value also "-j2".
    std::optional<std::string> attached;
    if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      attached = arg.substr(eq + 1);
      arg.resize(eq);
    } else if ((arg.starts_with("-j") || arg.starts_with("-o")) && arg.size() > 2) {
      attached = arg.substr(2);
      arg.resize(2);
    } else if (!arg.starts_with("--") && arg.size() > 2) {
      // Short options bundled: the first now, the rest as if given next.
      bundled = "-" + arg.substr(2);
      arg.resize(2);
      --i;
    }
    auto value = [&]() -> std::string {
      if (attached) return *attached;
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    auto fileName = [&]() {
      std::string name = value();
      if (name.empty()) throw UsageError(arg + " needs a file name");
      return name;
    };
    auto noValue = [&] {
      if (attached) throw UsageError(arg + " takes no value");
    };

    if (arg == "-h" || arg == "--help") {
      noValue();
      options.help = true;
    } else if (arg == "-V" || arg == "--version") {
      noValue();
      options.version = true;
    } else if (arg == "-q" || arg == "--quiet") {
      noValue();
      options.quiet = true;
    } else if (arg == "-y" || arg == "--force") {
      noValue();
      options.force = true;
    } else if (arg == "-n" || arg == "--dry-run") {
      noValue();
      options.dryRun = true;
    } else if (arg == "--list-programs") {
      noValue();
      options.listPrograms = true;
    } else if (arg == "-j" || arg == "--jobs") {
      options.jobs = parseInt(arg, value(), 1, 64);
    } else if (arg == "--editor-snapshot") {
      options.editorSnapshot = fileName();
      std::string extension = std::filesystem::path(*options.editorSnapshot).extension();
      for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (extension != ".png") throw UsageError("--editor-snapshot writes PNG; name the file .png");
    } else if (arg == "--about") {
      noValue();
      options.about = true;
    } else if (arg == "-o" || arg == "--output") {
      options.output = fileName();
    } else if (arg == "--plugin") {
      options.plugin = fileName();
    } else if (arg == "--block") {
      options.block = parseInt("--block", value(), 1, 65536);
    } else if (arg == "--precision") {
      options.precision = oneOf("--precision", value(), {"single", "double"}) == "single" ? Precision::Single
                                                                                          : Precision::Double;
    } else if (arg == "--program") {
      options.program = parseInt("--program", value(), 0, 5);
    } else if (arg == "--interval") {
      options.intervalSeconds = parseSeconds("--interval", value(), 1, 60);
    } else if (arg == "--duration") {
      options.durationSeconds = parseSeconds("--duration", value(), 1, 5);
    } else if (arg == "--format") {
      options.format = oneOf("--format", value(), {"wav", "flac", "aiff", "ogg", "opus", "mp3"});
    } else if (arg == "--bitrate") {
      options.bitrate = parseInt("--bitrate", value(), 6, 512);
    } else if (arg == "--quality") {
      options.quality = parseInt("--quality", value(), 0, 9);
    } else if (arg == "--bits") {
      options.bits = oneOf("--bits", value(), {"16", "24", "32", "float"});
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }

  if (options.bitrate && options.quality)
    throw UsageError("--bitrate (constant) and --quality (variable) exclude each other");
  if (options.about && !options.editorSnapshot) throw UsageError("--about goes with --editor-snapshot");
  if (options.editorSnapshot && (!options.inputs.empty() || options.output))
    throw UsageError("--editor-snapshot writes only the picture; it takes no input and no -o");
  if (options.inputs.size() > 1 && std::count(options.inputs.begin(), options.inputs.end(), "-"))
    throw UsageError("standard input goes alone, with -o naming the output");
  if (options.output == "-") {
    if (options.inputs.size() > 1) throw UsageError("-o - takes one input");
    if (!options.format) throw UsageError("-o - needs --format: there is no file name to tell it");
  }
  if (options.inputs.size() == 1 && options.inputs[0] == "-" && !options.output)
    throw UsageError("standard input has no name to write beside; give -o");
  return options;
}

}  // namespace render

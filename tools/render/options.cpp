#include "options.h"

#include <charconv>
#include <cmath>
#include <span>

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
  return R"(Usage: fadecrest-render [OPTIONS] [INPUT]

Renders an audio file through the Fadecrest plug-in and writes a preview copy.
Without INPUT, renders three minutes of a built-in test signal.

Options:
  -o, --output FILE       where to write (default: INPUT with "-preview" before the
                          extension, or fadecrest-preview.wav without INPUT)
      --plugin PATH       plug-in module (default: fadecrest.so beside this program)
      --block N           frames per process call, 1..65536 (default 512)
      --precision P       single or double (default single)
      --program N         factory program 0..5 (default: the plug-in's own, 1)
      --interval SECONDS  seconds between fades, 1..60 (applied after the program)
      --duration SECONDS  length of a fade, 1..5 (applied after the program)
      --format F          wav, flac or aiff (default: from the output's extension,
                          otherwise as the input)
      --bits B            16, 24, 32 or float (default: as the input)
      --editor-snapshot FILE  write the plug-in's editor, at the program and values
                          given, as a PNG picture instead of rendering audio
      --about             with --editor-snapshot: show the about picture
  -q, --quiet             print nothing but errors
  -h, --help              show this help
)";
}

Options parseOptions(int argc, char** argv) {
  Options options;
  std::span<char*> args(argv + 1, argc > 0 ? argc - 1 : 0);
  bool onlyPositional = false;

  for (size_t i = 0; i < args.size(); ++i) {
    std::string arg = args[i];
    if (onlyPositional || arg.empty() || arg[0] != '-') {
      if (options.input)
        throw UsageError("only one input file may be given, got '" + *options.input + "' and '" + arg + "'");
      options.input = arg;
      continue;
    }
    if (arg == "--") {
      onlyPositional = true;
      continue;
    }

    // Both "--name value" and "--name=value" are accepted.
    std::optional<std::string> attached;
    if (auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
      attached = arg.substr(eq + 1);
      arg.resize(eq);
    }
    auto value = [&]() -> std::string {
      if (attached) return *attached;
      if (i + 1 >= args.size()) throw UsageError(arg + " needs a value");
      return args[++i];
    };
    auto noValue = [&] {
      if (attached) throw UsageError(arg + " takes no value");
    };

    if (arg == "-h" || arg == "--help") {
      noValue();
      options.help = true;
    } else if (arg == "-q" || arg == "--quiet") {
      noValue();
      options.quiet = true;
    } else if (arg == "--editor-snapshot") {
      options.editorSnapshot = value();
      if (options.editorSnapshot->empty()) throw UsageError("--editor-snapshot needs a file name");
    } else if (arg == "--about") {
      noValue();
      options.about = true;
    } else if (arg == "-o" || arg == "--output") {
      options.output = value();
      if (options.output->empty()) throw UsageError("--output needs a file name");
    } else if (arg == "--plugin") {
      options.plugin = value();
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
      options.format = oneOf("--format", value(), {"wav", "flac", "aiff"});
    } else if (arg == "--bits") {
      options.bits = oneOf("--bits", value(), {"16", "24", "32", "float"});
    } else {
      throw UsageError("unknown option '" + arg + "'");
    }
  }
  if (options.about && !options.editorSnapshot) throw UsageError("--about goes with --editor-snapshot");
  return options;
}

}  // namespace render

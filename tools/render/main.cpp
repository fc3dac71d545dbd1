// fadecrest-render: renders a sound file through the Fadecrest plug-in, loaded like a host
// loads it, and writes the result beside the input.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "audio_files.h"
#include "editor_snapshot.h"
#include "options.h"
#include "plugin_host.h"
#include "renderer.h"
#include "test_signal.h"

namespace fs = std::filesystem;
using namespace render;

namespace {

constexpr int kIntervalParameter = 0;
constexpr int kDurationParameter = 1;
constexpr double kLongFileSeconds = 30.0;  // shorter renders finish before a bar is worth drawing

fs::path defaultPluginPath() { return fs::read_symlink("/proc/self/exe").parent_path() / "fadecrest.so"; }

// "dir/song.wav" becomes "dir/song-preview.wav"; a chosen format brings its own extension.
fs::path defaultOutputPath(const std::optional<std::string>& input,
                           const std::optional<std::string>& format) {
  fs::path base = input ? fs::path(*input) : fs::path("fadecrest.wav");
  fs::path result = base;
  result.replace_filename(base.stem().string() + "-preview");
  if (format)
    result += fs::path(".").concat(extensionOf(majorFormatNamed(*format)));
  else
    result += base.extension();
  return input ? result : result.filename();
}

// The output keeps the input's container and samples unless asked otherwise; an output name
// with a known extension picks the container.
int chooseFormat(const Options& options, int inputFormat, const fs::path& output, int channels, int rate) {
  int major = inputFormat & SF_FORMAT_TYPEMASK;
  if (options.format)
    major = majorFormatNamed(*options.format);
  else if (auto named = majorFormatOfPath(output); named && options.output)
    major = *named;
  int subtype = options.bits ? subtypeNamed(*options.bits) : inputFormat & SF_FORMAT_SUBMASK;
  return outputFormat(major, subtype, options.bits.has_value(), channels, rate);
}

void setUp(PluginHost& effect, const Options& options, const SignalSource& source) {
  effect.open(source.sampleRate(), options.block);
  // Sample counts follow the rate only from the next program or parameter change.
  effect.setProgram(options.program.value_or(effect.currentProgram()));
  if (options.intervalSeconds)
    effect.setParameter(kIntervalParameter, static_cast<float>((*options.intervalSeconds - 1.0) / 59.0));
  if (options.durationSeconds)
    effect.setParameter(kDurationParameter, static_cast<float>((*options.durationSeconds - 1.0) / 4.0));

  bool supported =
      options.precision == Precision::Double ? effect.canProcessDouble() : effect.canProcessSingle();
  if (!supported)
    throw std::runtime_error(std::string("the plug-in cannot process in ") +
                             (options.precision == Precision::Double ? "double" : "single") + " precision");
}

// The editor at the program and values asked for, as a PNG picture.
void snapshot(const Options& options) {
  PluginHost effect(fs::absolute(options.plugin ? fs::path(*options.plugin) : defaultPluginPath()).string());
  TestSignal rateOnly;
  setUp(effect, options, rateOnly);
  writeEditorSnapshot(effect, *options.editorSnapshot, options.about);
  if (!options.quiet) std::printf("wrote %s\n", options.editorSnapshot->c_str());
}

void run(const Options& options) {
  if (options.editorSnapshot) return snapshot(options);
  std::unique_ptr<SignalSource> source;
  int inputFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
  if (options.input) {
    auto file = std::make_unique<SoundFileSource>(*options.input);
    inputFormat = file->format();
    source = std::move(file);
  } else {
    source = std::make_unique<TestSignal>();
  }
  if (source->channels() > 2)
    throw std::runtime_error(*options.input + " has " + std::to_string(source->channels()) +
                             " channels; only mono and stereo files can be rendered");

  fs::path output =
      options.output ? fs::path(*options.output) : defaultOutputPath(options.input, options.format);
  int format = chooseFormat(options, inputFormat, output, source->channels(), source->sampleRate());

  // A bare name would make dlopen search the library path instead of the current directory.
  PluginHost effect(fs::absolute(options.plugin ? fs::path(*options.plugin) : defaultPluginPath()).string());
  setUp(effect, options, *source);

  OutputFile file(output, format, source->channels(), source->sampleRate());
  effect.resume();
  bool longFile = source->frames() > kLongFileSeconds * source->sampleRate();
  renderSource(effect, *source, file, options.block, options.precision,
               !options.quiet && longFile && isatty(2));
  effect.suspend();
  file.commit();

  if (!options.quiet)
    std::printf("wrote %s (%.1f s, %d Hz, %s)\n", output.c_str(),
                static_cast<double>(source->frames()) / source->sampleRate(), source->sampleRate(),
                source->channels() == 1 ? "mono" : "stereo");
}

extern "C" void requestStop(int) { stopRequested = 1; }

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, requestStop);
  std::signal(SIGTERM, requestStop);
  try {
    Options options = parseOptions(argc, argv);
    if (options.help) {
      std::fputs(usageText().c_str(), stdout);
      return 0;
    }
    run(options);
    return 0;
  } catch (const UsageError& error) {
    std::fprintf(stderr, "fadecrest-render: %s (see --help)\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "fadecrest-render: %s\n", error.what());
    return 1;
  }
}

#include "batch.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "audio_files.h"
#include "effect_settings.h"
#include "messages.h"
#include "output_target.h"
#include "renderer.h"
#include "test_signal.h"

namespace fs = std::filesystem;

namespace render {
namespace {

// Without an input the test signal is rendered, and its output is named after this.
constexpr const char* kTestSignalName = "fadecrest.wav";
constexpr auto kProgressDelay = std::chrono::milliseconds(500);  // quicker runs show no progress
constexpr auto kProgressPeriod = std::chrono::milliseconds(200);
constexpr int64_t kWindowsListed = 12;  // a dry run lists this many, then counts the rest

struct Job {
  std::string input;  // as given: "-" for standard input, empty for the test signal
  std::string shownInput;
  std::string outputPath;  // as derived from the input and the options; "-" for standard output
  OutputPlan output;
  std::unique_ptr<SignalSource> source;  // kept open only when it cannot be opened again
  int format = 0;
  int channels = 0;
  int sampleRate = 0;
  int outputRate = 0;  // differs from the input's where the format cannot hold that
  int64_t frames = 0;
  std::vector<std::string> warnings;
  std::string skipped;    // why it is not rendered, which is no failure
  bool exists = false;    // a dry run's output that is there already and --force would replace
  std::string failure;    // why it was not written
  std::string shortfall;  // why it was written only in part
  int64_t framesWritten = 0;
  int64_t clipped = 0, notNumbers = 0;
};

// "3:12.4", or "1:02:03.4" from an hour on.
std::string clockText(double seconds, bool tenths = true) {
  const auto tenthsTotal = static_cast<int64_t>(seconds * 10.0 + (tenths ? 0.5 : 0.0));
  const int64_t whole = tenthsTotal / 10, hours = whole / 3600, minutes = whole / 60 % 60, secs = whole % 60;
  char text[64];
  int length = hours ? std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", static_cast<long long>(hours),
                                     static_cast<long long>(minutes), static_cast<long long>(secs))
                     : std::snprintf(text, sizeof text, "%lld:%02lld", static_cast<long long>(minutes),
                                     static_cast<long long>(secs));
  if (tenths)
    std::snprintf(text + length, sizeof text - length, ".%lld", static_cast<long long>(tenthsTotal % 10));
  return text;
}

std::string secondsText(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", seconds);
  return text;
}

// The folder the outputs go into, when -o names one: it ends with a slash or is one already.
std::optional<fs::path> outputFolder(const Options& options) {
  if (!options.output || *options.output == "-") return std::nullopt;
  if (options.output->ends_with('/') || fs::is_directory(*options.output)) return fs::path(*options.output);
  if (options.inputs.size() > 1)
    throw UsageError("with several inputs, -o names a folder (end it with /), not " + *options.output);
  return std::nullopt;
}

// "dir/song.flac" becomes "dir/song-preview.flac" (or goes into the output folder); a chosen
// format brings its own extension, and an input in a format not written here becomes WAV.
fs::path outputPathFor(const std::string& input, const Options& options,
                       const std::optional<fs::path>& folder) {
  if (options.output && !folder) return *options.output;
  if (input == "-")
    throw std::runtime_error("standard input has no name to give its output; name the output file with -o");
  const fs::path base = input.empty() ? fs::path(kTestSignalName) : fs::path(input);
  std::string extension = base.extension().string();
  if (options.format)
    extension = "." + extensionOf(containerNamed(*options.format));
  else if (!extension.empty() && !writtenFormatOfExtension(extension))
    extension = ".wav";
  const fs::path name = base.stem().string() + "-preview" + extension;
  if (folder) return *folder / name;
  return input.empty() ? name : base.parent_path() / name;
}

// The container asked for: by --format, or else by the output's name, which must agree with it.
// None when neither tells.
std::optional<int> containerAsked(const Options& options, const std::string& output) {
  const int named = output == "-" ? 0 : containerOfPath(output).value_or(0);  // 0: the name tells nothing
  if (!options.format) return named ? std::optional<int>(named) : std::nullopt;
  const int container = containerNamed(*options.format);
  if (named && named != container)
    throw std::runtime_error("the name " + output + " says " + extensionOf(named) +
                             ", but --format asks for " + *options.format);
  return container;
}

// The container asked for or else the input's (WAV for one not written here); the samples as
// asked or as the input's.
int chooseFormat(const Options& options, int inputFormat, const std::string& output, int channels, int rate,
                 int64_t frames) {
  const int kept = containerOf(inputFormat);
  const int container = containerAsked(options, output).value_or(kept ? kept : SF_FORMAT_WAV);
  // A compressed code (ADPCM, GSM, MP3) pads its last block: such samples are written as 16-bit PCM.
  const int subtype = options.bits                   ? subtypeNamed(*options.bits)
                      : sampleBytes(inputFormat) > 0 ? inputFormat & SF_FORMAT_SUBMASK
                                                     : SF_FORMAT_PCM_16;
  return formatForLength(outputFormat(container, subtype, options.bits.has_value(), channels, rate), channels,
                         frames);
}

class Planner {
 public:
  Planner(const Options& options, const FadeSettings& settings, bool dryRun)
      : options_(options), settings_(settings), dryRun_(dryRun), folder_(outputFolder(options)) {
    for (const std::string& input : options.inputs) inputIdentities_.push_back(identityOfInput(input));
    // An input where another input's preview goes (a second run over a folder of songs and their
    // previews) is that preview, not a song to render.
    for (size_t song = 0; song < options.inputs.size(); ++song) {
      if (options.inputs[song] == "-") continue;
      const auto preview = identityOfOutput(outputPathFor(options.inputs[song], options, folder_).string());
      for (size_t other = 0; preview && other < options.inputs.size(); ++other)
        if (other != song && inputIdentities_[other] == preview) previewOf_[other] = song;
    }
  }

  const std::optional<fs::path>& folder() const { return folder_; }

  Job plan(size_t index) {
    Job job;
    job.input = options_.inputs.empty() ? std::string() : options_.inputs[index];
    job.shownInput = job.input.empty() ? "the test signal" : job.input == "-" ? "standard input" : job.input;
    if (auto song = previewOf_.find(index); song != previewOf_.end()) {
      job.skipped = "skipped: it is the preview of " + options_.inputs[song->second];
      return job;
    }
    try {
      checkOutput(job, index);
      openSource(job);
    } catch (const std::exception& error) {
      job.failure = error.what();
      job.source.reset();
    }
    return job;
  }

 private:
  // Nothing of the input is read before its output is known to be safe to write.
  void checkOutput(Job& job, size_t index) {
    const std::string output = job.outputPath = outputPathFor(job.input, options_, folder_).string();
    containerAsked(options_, output);
    if (auto identity = identityOfOutput(output)) {
      const std::string shown = output == "-" ? "standard output" : "the output " + output;
      for (size_t other = 0; other < inputIdentities_.size(); ++other) {
        if (inputIdentities_[other] != identity || previewOf_.contains(other)) continue;
        if (other == index) throw std::runtime_error(shown + " is this input itself; not writing over it");
        throw std::runtime_error(shown + " is the input " + options_.inputs[other] + "; not writing over it");
      }
    }
    job.output = planOutput(output, options_.force || dryRun_);
    job.exists = job.output.kind == OutputKind::ReplaceFile && !options_.force;
    if (job.output.kind != OutputKind::Stream &&
        !claimedOutputs_.insert(fs::weakly_canonical(fs::absolute(job.output.target))).second)
      throw std::runtime_error(output + " is the output of an input before it as well");
  }

  void openSource(Job& job) {
    std::unique_ptr<SignalSource> source;
    int inputFormat = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    bool reopen = false;
    if (job.input.empty()) {
      source = std::make_unique<TestSignal>();
    } else {
      auto file = std::make_unique<SoundFileSource>(job.input);
      inputFormat = file->format();
      reopen = file->canReopen();
      source = std::move(file);
    }
    job.channels = source->channels();
    job.sampleRate = source->sampleRate();
    job.frames = source->frames();
    if (job.channels > 2)
      throw std::runtime_error("it has " + std::to_string(job.channels) +
                               " channels; only mono and stereo files can be rendered");
    job.format =
        chooseFormat(options_, inputFormat, job.outputPath, job.channels, job.sampleRate, job.frames);

    job.outputRate = outputRate(job.format, job.sampleRate);
    checkEncoding(job.format, job.channels, job.outputRate, {options_.bitrate, options_.quality});
    if (job.outputRate != job.sampleRate)
      job.warnings.push_back("resampled to " + std::to_string(job.outputRate) +
                             " Hz: " + describeFormat(job.format) + " cannot hold " +
                             std::to_string(job.sampleRate) + " Hz");
    if (std::string loss = resolutionLoss(inputFormat, job.format); !loss.empty())
      job.warnings.push_back(loss);
    if (job.frames != kUnknownLength && job.frames > 0 &&
        fadeWindowCount(timelineOf(settings_, job.sampleRate), job.frames) == 0)
      job.warnings.push_back("no fade window falls inside this " +
                             clockText(static_cast<double>(job.frames) / job.sampleRate) + " file");
    // A file is opened again when its turn comes, so a long batch holds few files open.
    if (reopen) source.reset();
    job.source = std::move(source);
  }

  const Options& options_;
  const FadeSettings& settings_;
  bool dryRun_;
  std::optional<fs::path> folder_;
  std::map<size_t, size_t> previewOf_;  // input -> the input it is the preview of
  std::vector<std::optional<FileIdentity>> inputIdentities_;
  std::set<fs::path> claimedOutputs_;
};

FadeSettings settingsFor(const Options& options, const PluginModule& module) {
  PluginHost effect(module);
  setUpEffect(effect, options, TestSignal::kSampleRate);
  return settingsOf(effect);
}

void renderJob(Job& job, const Options& options, const PluginModule& module,
               std::atomic<int64_t>& framesDone) {
  try {
    std::unique_ptr<SignalSource> source =
        job.source ? std::move(job.source) : std::make_unique<SoundFileSource>(job.input);
    PluginHost effect(module);
    setUpEffect(effect, options, source->sampleRate());
    OutputTarget target(job.output);
    const int64_t frames = source->frames();
    SoundWriter writer(target, job.output.shown,
                       {job.format,
                        job.channels,
                        job.sampleRate,
                        job.outputRate,
                        frames == kUnknownLength ? frames : frames * job.outputRate / job.sampleRate,
                        {options.bitrate, options.quality},
                        source->tags()});
    effect.resume();
    job.framesWritten = renderSource(effect, *source, writer, options.block, options.precision, framesDone);
    effect.suspend();
    writer.finish();
    job.clipped = writer.clipped();
    job.notNumbers = writer.notNumbers();
    job.shortfall = source->shortfall();
    // A file is replaced only by a whole new one; a new file keeps what was rendered.
    if (!job.shortfall.empty() && job.output.kind == OutputKind::ReplaceFile)
      throw std::runtime_error(job.shortfall + "; " + job.output.shown + " is left as it was");
    target.commit();
  } catch (const std::exception& error) {
    job.failure = error.what();
  }
}

// One line for the whole batch on a terminal: files done, audio done, time left.
class ProgressLine {
 public:
  ProgressLine(size_t files, int64_t totalSeconds) : files_(files), totalSeconds_(totalSeconds) {}

  void show(size_t filesDone, double secondsDone, std::chrono::steady_clock::duration elapsed) {
    std::string line = std::to_string(filesDone) + " of " + std::to_string(files_) + " files, " +
                       clockText(secondsDone, false);
    if (totalSeconds_ > 0) {
      line += " of " + clockText(static_cast<double>(totalSeconds_), false) + " rendered";
      if (secondsDone > 0.0) {
        double wall = std::chrono::duration<double>(elapsed).count();
        line += ", " +
                clockText(wall * (static_cast<double>(totalSeconds_) - secondsDone) / secondsDone, false) +
                " left";
      }
    } else {
      line += " rendered";
    }
    setProgressLineShown(true);
    std::fprintf(messages(), "\r\033[K%s", line.c_str());
    std::fflush(messages());
    shown_ = true;
  }

  ~ProgressLine() {
    if (!shown_) return;
    std::fputs("\r\033[K", messages());
    std::fflush(messages());
    setProgressLineShown(false);
  }

 private:
  size_t files_;
  int64_t totalSeconds_;
  bool shown_ = false;
};

std::vector<Job> planAll(const Options& options, const FadeSettings& settings, bool dryRun) {
  Planner planner(options, settings, dryRun);
  if (!dryRun && planner.folder()) {
    std::error_code error;
    fs::create_directories(*planner.folder(), error);
    if (error)
      throw std::runtime_error("cannot make the folder " + planner.folder()->string() + ": " +
                               error.message());
  }
  std::vector<Job> jobs;
  const size_t count = std::max<size_t>(1, options.inputs.size());
  for (size_t i = 0; i < count; ++i) jobs.push_back(planner.plan(i));
  return jobs;
}

void say(FILE* stream, const std::string& text) {
  std::fflush(stdout);
  std::fputs(text.c_str(), stream);
  std::fflush(stream);
}

// A message about one input, on standard error.
void sayAbout(const Job& job, const std::string& text) {
  say(messages(), "fadecrest-render: " + job.shownInput + ": " + text + "\n");
}

int summarise(const std::vector<Job>& jobs, const Options& options) {
  // Results go to standard output unless the audio does.
  FILE* results = options.output == "-" ? messages() : stdout;
  size_t written = 0, failed = 0, cut = 0, skipped = 0;
  for (const Job& job : jobs) {
    if (!job.skipped.empty()) {
      ++skipped;
      if (!options.quiet) sayAbout(job, job.skipped);
      continue;
    }
    if (!job.failure.empty()) {
      ++failed;
      sayAbout(job, job.failure);
      continue;
    }
    ++written;
    const double seconds = static_cast<double>(job.framesWritten) / job.sampleRate;
    if (!options.quiet) {
      say(results, "wrote " + job.output.shown + " (" + clockText(seconds) + ", " +
                       std::to_string(job.outputRate) + " Hz, " + (job.channels == 1 ? "mono" : "stereo") +
                       ")\n");
      for (const std::string& warning : job.warnings) sayAbout(job, warning);
    }
    // As sox does, even with -q: what was clipped, and samples that were no numbers.
    if (job.clipped) sayAbout(job, "clipped " + std::to_string(job.clipped) + " samples");
    if (job.notNumbers) sayAbout(job, std::to_string(job.notNumbers) + " samples were NaN or infinite");
    if (!job.shortfall.empty()) {
      ++cut;
      sayAbout(job,
               job.shortfall + "; " + job.output.shown + " holds the " + clockText(seconds) + " before that");
    }
  }
  if (jobs.size() > 1 && (!options.quiet || failed || cut)) {
    std::string tally = std::to_string(written) + " of " + std::to_string(jobs.size()) + " files written";
    if (cut) tally += ", " + std::to_string(cut) + " of them cut short";
    if (failed) tally += ", " + std::to_string(failed) + " failed";
    if (skipped) tally += ", " + std::to_string(skipped) + " skipped";
    say(messages(), "fadecrest-render: " + tally + "\n");
  }
  return failed || cut ? 1 : 0;
}

// What an interrupt finds of a batch, for the signal handler: the names are made before the
// workers start, and each worker sets the state of its file.
enum JobState : int { kNotBegun, kStopped, kWritten, kFailed };
struct BatchView {
  std::vector<std::string> inputs, outputs;
  std::unique_ptr<std::atomic<int>[]> states;
};
std::atomic<BatchView*> batchView{nullptr};

// Runs in the signal handler: only writes.
void reportInterruptedBatch() {
  const BatchView* view = batchView.load();
  if (!view) return;
  struct List {
    int state;
    const char* heading;
  };
  for (const List& list : {List{kWritten, "written whole: "}, List{kStopped, "stopped: "},
                           List{kFailed, "failed: "}, List{kNotBegun, "not begun: "}}) {
    bool any = false;
    for (size_t i = 0; i < view->inputs.size(); ++i) {
      if (view->states[i] != list.state) continue;
      sayInHandler(any ? ", " : "fadecrest-render: ");
      if (!any) sayInHandler(list.heading);
      sayInHandler((list.state == kWritten ? view->outputs[i] : view->inputs[i]).c_str());
      any = true;
    }
    if (any) sayInHandler("\n");
  }
}

}  // namespace

int renderAll(const Options& options, const PluginModule& module) {
  const FadeSettings settings = settingsFor(options, module);
  std::vector<Job> jobs = planAll(options, settings, false);

  std::vector<Job*> queue;
  int64_t totalFrameSeconds = 0;
  bool lengthsKnown = true;
  for (Job& job : jobs) {
    if (!job.failure.empty() || !job.skipped.empty()) continue;
    queue.push_back(&job);
    if (job.frames == kUnknownLength)
      lengthsKnown = false;
    else
      totalFrameSeconds += job.frames / job.sampleRate;
  }

  // Progress is counted in frames per file; the display adds them up in seconds.
  std::vector<std::atomic<int64_t>> framesDone(queue.size());
  std::atomic<size_t> next{0}, filesDone{0};
  std::mutex doneMutex;
  std::condition_variable allDone;
  const size_t workerCount = std::min<size_t>(
      queue.size(), options.jobs.value_or(std::max(1u, std::thread::hardware_concurrency())));
  BatchView view;
  view.states = std::make_unique<std::atomic<int>[]>(queue.size());
  for (const Job* job : queue) {
    view.inputs.push_back(job->shownInput);
    view.outputs.push_back(job->output.shown);
  }
  if (queue.size() > 1) {
    batchView = &view;
    setInterruptReport(reportInterruptedBatch);
  }
  std::vector<std::thread> workers;
  for (size_t w = 0; w < workerCount; ++w)
    workers.emplace_back([&] {
      for (size_t i; (i = next++) < queue.size();) {
        view.states[i] = kStopped;
        renderJob(*queue[i], options, module, framesDone[i]);
        view.states[i] = queue[i]->failure.empty() ? kWritten : kFailed;
        std::lock_guard lock(doneMutex);
        ++filesDone;
        allDone.notify_all();
      }
    });

  {
    const bool showProgress = !options.quiet && isatty(messagesDescriptor());
    ProgressLine progress(queue.size(), lengthsKnown ? totalFrameSeconds : 0);
    const auto start = std::chrono::steady_clock::now();
    std::unique_lock lock(doneMutex);
    while (!allDone.wait_for(lock, kProgressPeriod, [&] { return filesDone == queue.size(); })) {
      const auto elapsed = std::chrono::steady_clock::now() - start;
      if (!showProgress || elapsed < kProgressDelay) continue;
      double seconds = 0.0;
      for (size_t i = 0; i < queue.size(); ++i)
        seconds += static_cast<double>(framesDone[i].load()) / queue[i]->sampleRate;
      progress.show(filesDone, seconds, elapsed);
    }
  }
  for (std::thread& worker : workers) worker.join();
  setInterruptReport(nullptr);
  batchView = nullptr;
  return summarise(jobs, options);
}

int showPlan(const Options& options, const PluginModule& module) {
  const FadeSettings settings = settingsFor(options, module);
  std::vector<Job> jobs = planAll(options, settings, true);
  int status = 0;
  for (const Job& job : jobs) {
    if (!job.skipped.empty() || !job.failure.empty()) {
      sayAbout(job, job.skipped.empty() ? job.failure : job.skipped);
      if (job.skipped.empty()) status = 1;
      continue;
    }
    // The run itself would refuse an output that is there already.
    if (job.exists) status = 1;
    const bool lengthKnown = job.frames != kUnknownLength;
    const double rate = job.sampleRate;
    std::string text =
        job.shownInput + " -> " + job.output.shown + (job.exists ? " (exists; --force replaces it)" : "") +
        "\n  " + describeFormat(job.format) + ", " + std::to_string(job.sampleRate) + " Hz, " +
        (job.channels == 1 ? "mono" : "stereo") + ", " +
        (lengthKnown ? clockText(static_cast<double>(job.frames) / rate) : "length unknown") + "\n";
    text += "  program " + std::to_string(settings.program) + " \"" + settings.programName + "\", interval " +
            secondsText(intervalSeconds(settings.interval)) + ", duration " +
            secondsText(durationSeconds(settings.duration)) + ", " +
            (options.precision == Precision::Double ? "double" : "single") + " precision\n";
    // A stream of unknown length shows its first window and how often they come.
    const FadeTimeline timeline = timelineOf(settings, rate);
    const int64_t frames = lengthKnown ? job.frames : timeline.interval + 1;
    std::vector<FadeWindow> windows = fadeWindows(timeline, frames, kWindowsListed);
    text += "  fade windows:";
    for (size_t i = 0; i < windows.size(); ++i)
      text += (i ? ", " : " ") + clockText(static_cast<double>(windows[i].start) / rate) + "-" +
              clockText(static_cast<double>(windows[i].end) / rate);
    if (windows.empty()) text += " none";
    if (const int64_t count = fadeWindowCount(timeline, frames); count > kWindowsListed)
      text += ", ... (" + std::to_string(count) + " in all)";
    if (!lengthKnown) text += ", then every " + clockText(static_cast<double>(timeline.cycle()) / rate);
    say(stdout, text + "\n");
    if (!options.quiet)
      for (const std::string& warning : job.warnings) sayAbout(job, warning);
  }
  return status;
}

}  // namespace render

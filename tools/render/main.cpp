// fadecrest-render: renders sound files through the Fadecrest plug-in, loaded like a host loads
// it, and writes preview copies beside them.
#include <cstdio>
#include <filesystem>

#include "batch.h"
#include "editor_snapshot.h"
#include "effect_settings.h"
#include "messages.h"
#include "options.h"
#include "output_target.h"
#include "plugin_host.h"
#include "test_signal.h"

namespace fs = std::filesystem;
using namespace render;

namespace {

constexpr int kProgramCount = 6;

// The plug-in beside this program (the build tree), or where installing puts it.
std::string pluginPath(const Options& options) {
  // A bare name would make dlopen search the library path instead of the current directory.
  if (options.plugin) return fs::absolute(*options.plugin).string();
  const fs::path here = fs::read_symlink("/proc/self/exe").parent_path();
  const fs::path beside = here / "fadecrest.so";
  const fs::path installed = (here / FADECREST_INSTALLED_PLUGIN).lexically_normal();
  for (const fs::path& candidate : {beside, installed})
    if (fs::exists(candidate)) return candidate.string();
  throw std::runtime_error("no plug-in found at " + beside.string() + " or " + installed.string() +
                           "; name it with --plugin");
}

void listPrograms(const PluginModule& module) {
  PluginHost effect(module);
  effect.open(TestSignal::kSampleRate, 512);
  std::printf("program  name              interval  duration\n");
  for (int program = 0; program < kProgramCount; ++program) {
    effect.setProgram(program);
    FadeSettings settings = settingsOf(effect);
    std::printf("%7d  %-16s  %6.2f s  %6.2f s\n", program, settings.programName.c_str(),
                intervalSeconds(settings.interval), durationSeconds(settings.duration));
  }
}

// The editor at the program and values asked for, as a PNG picture.
void snapshot(const Options& options, const PluginModule& module) {
  PluginHost effect(module);
  setUpEffect(effect, options, TestSignal::kSampleRate);
  writeEditorSnapshot(settingsOf(effect), *options.editorSnapshot, options.about, options.force);
  if (!options.quiet) std::printf("wrote %s\n", options.editorSnapshot->c_str());
}

int run(const Options& options) {
  if (options.quiet) silenceLibraries();
  if (options.help) {
    std::fputs(usageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::puts("fadecrest-render " FADECREST_VERSION
              "\nCopyright (c) 2026 Corvenna. Released under the MIT licence.");
    return 0;
  }
  PluginModule module(pluginPath(options));
  if (options.listPrograms) {
    listPrograms(module);
    return 0;
  }
  if (options.editorSnapshot) {
    snapshot(options, module);
    return 0;
  }
  return options.dryRun ? showPlan(options, module) : renderAll(options, module);
}

}  // namespace

int main(int argc, char** argv) {
  installInterruptHandlers();
  try {
    return run(parseOptions(argc, argv));
  } catch (const UsageError& error) {
    std::fprintf(messages(), "fadecrest-render: %s (see --help)\n", error.what());
    return 2;
  } catch (const std::exception& error) {
    std::fprintf(messages(), "fadecrest-render: %s\n", error.what());
    return 1;
  }
}

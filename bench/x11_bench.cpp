// What the editor costs a Linux host, on a virtual X display of its own: opening the editor up to
// the first complete picture on the server, an idle pass with nothing to redraw and nothing
// pending (which must not wait for the server: the host calls it 25 times a second), and one knob
// step shown at the next idle pass. Compare the idle pass with BM_IdleWithNothingToDo of
// fadecrest-editor-bench, the same pass without a display.
#include <benchmark/benchmark.h>

#include "effect/fadecrestvst.h"
#include "platform/x11/connection.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"

namespace {

constexpr int kWidth = 328, kHeight = 264;

xtest::VirtualDisplay& display() {
  static xtest::VirtualDisplay server;
  return server;
}

// The server has everything the plug-in's connection sent: what it shows is the picture.
void syncPlugin() {
  auto held = platform::x11::lock();
  if (Display* connection = platform::x11::backend().display) XSync(connection, False);
}

struct EditorHost {
  EditorHost() : host(display().makeWindow(100, 100, kWidth, kHeight)) {}
  ~EditorHost() { XDestroyWindow(display().connection(), host); }
  void open() {
    effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0);
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);  // the first paint
    syncPlugin();
  }
  void close() { effect.dispatcher(effEditClose, 0, 0, nullptr, 0); }

  FadecrestVST effect{nullptr};
  Window host;
};

// The first editor of the process: the connection opens with it.
void BM_X11EditorOpenToFirstPicture(benchmark::State& state) {
  EditorHost editor;
  for (auto _ : state) {
    editor.open();
    state.PauseTiming();
    editor.close();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_X11EditorOpenToFirstPicture)->Unit(benchmark::kMillisecond);

// Requests sent per pass, counted by the connection: none means no round trip either.
void BM_X11IdleWithNothingToDo(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  Display* connection = platform::x11::backend().display;
  const unsigned long before = NextRequest(connection);
  for (auto _ : state) editor.effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
  state.counters["requests"] = benchmark::Counter(static_cast<double>(NextRequest(connection) - before),
                                                  benchmark::Counter::kAvgIterations);
  editor.close();
}
BENCHMARK(BM_X11IdleWithNothingToDo)->Unit(benchmark::kNanosecond);

// From the new value to its picture on the server.
void BM_X11KnobStepShown(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  float value = 0.0f;
  for (auto _ : state) {
    value = value >= 1.0f ? 0.0f : value + 0.1f;
    editor.effect.setParameter(kIntervalParameter, value);
    editor.effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
    syncPlugin();
  }
  state.counters["shared_memory"] = platform::x11::backend().shmOffered;
  editor.close();
}
BENCHMARK(BM_X11KnobStepShown)->Unit(benchmark::kMicrosecond);

}  // namespace

// What the editor costs a Linux host, on a virtual X display of its own: opening the editor up to
// the first complete picture on the server (the first open of a process, which also opens the
// connection and the fonts and decodes the pictures, and the opens after it), an idle pass with
// nothing to redraw and nothing pending (which must not wait for the server: the host calls it 25
// times a second) with the system call it makes, and one knob step shown at the next idle pass.
// Compare the idle pass with BM_IdleWithNothingToDo of fadecrest-editor-bench, the same pass
// without a display.
#include <benchmark/benchmark.h>
#include <poll.h>

#include <cstring>

#include "effect/fadecrestvst.h"
#include "fresh_process.h"
#include "platform/x11/connection.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"

namespace {

constexpr int kWidth = 328, kHeight = 264;
// Run as a child of the benchmark: one first open, its time printed in nanoseconds.
constexpr const char* kFirstOpenChild = "--first-open-child";

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
  // The host's window, on a connection of the host's own.
  explicit EditorHost(Display* connection)
      : connection(connection),
        host(XCreateSimpleWindow(connection, DefaultRootWindow(connection), 100, 100, kWidth, kHeight, 0, 0,
                                 0)) {
    XMapWindow(connection, host);
    XSync(connection, False);
  }
  EditorHost() : EditorHost(display().connection()) {}
  ~EditorHost() {
    XDestroyWindow(connection, host);
    XSync(connection, False);
  }
  void open() {
    effect.dispatcher(effEditOpen, 0, 0, reinterpret_cast<void*>(host), 0);
    effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);  // the first paint
    syncPlugin();
  }
  void close() { effect.dispatcher(effEditClose, 0, 0, nullptr, 0); }

  Display* connection;
  Window host;
  // Made before the editor opens, as a host instantiates the effect before it shows its editor.
  FadecrestVST effect{nullptr};
};

// The child's side: nothing of the plug-in has run in this process before the timed open.
int firstOpenChild() {
  Display* connection = XOpenDisplay(nullptr);
  if (!connection) return 1;
  int status = 0;
  {
    EditorHost editor(connection);
    status = fresh::timeOnce([&] {
      editor.open();
      return true;
    });
    editor.close();
  }
  XCloseDisplay(connection);
  return status;
}

// The first editor of a process, in a new process each time.
void BM_X11FirstOpenOfAProcess(benchmark::State& state) {
  display();  // the server runs before the first child starts
  fresh::run(state, kFirstOpenChild);
}
BENCHMARK(BM_X11FirstOpenOfAProcess)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// The opens after the first: connection, fonts and pictures are there already.
void BM_X11EditorOpenToFirstPicture(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  editor.close();
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

// What the idle pass cannot do without: asking the kernel whether the connection's socket has
// something to read, the check the pass makes when nothing else can be waiting.
void BM_X11SocketCheck(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  pollfd connection{ConnectionNumber(platform::x11::backend().display), POLLIN, 0};
  for (auto _ : state) benchmark::DoNotOptimize(poll(&connection, 1, 0));
  editor.close();
}
BENCHMARK(BM_X11SocketCheck)->Unit(benchmark::kNanosecond);

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

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], kFirstOpenChild) == 0) return firstOpenChild();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

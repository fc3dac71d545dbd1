// What the plug-in's editor costs a host: opening it (construction of the frame, its controls and
// pictures, up to the first paint), one knob step shown at the next idle pass, an idle pass with
// nothing to do, and a whole drag of a knob over 100 motion steps, the throttled idle passes
// included.
#include <benchmark/benchmark.h>

#include "effect/fadecrestvst.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"

namespace {

using platform::Key;
using platform::MessageType;

struct EditorHost {
  EditorHost() {
    platform::headless::resetInput();
    platform::headless::resetWindowSystem();
  }
  void open() {
    effect.dispatcher(effEditOpen, 0, 0, host.handle(), 0);
    window = host.children().front()->handle();
    platform::invalidateWindow(window, {0, 0, 328, 264});
    platform::headless::sendMessage(window, {MessageType::paint, {}, 0});
  }
  void close() { effect.dispatcher(effEditClose, 0, 0, nullptr, 0); }

  FadecrestVST effect{nullptr};
  platform::headless::Window host{{0, 0, 328, 264}};
  platform::WindowHandle window = nullptr;
};

void BM_EditorOpenToFirstPaint(benchmark::State& state) {
  EditorHost editor;
  for (auto _ : state) {
    editor.open();
    state.PauseTiming();
    editor.close();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_EditorOpenToFirstPaint)->Unit(benchmark::kMicrosecond);

void BM_KnobStepShownAtIdle(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  float value = 0.0f;
  for (auto _ : state) {
    value = value >= 1.0f ? 0.0f : value + 0.1f;
    editor.effect.setParameter(kIntervalParameter, value);
    editor.effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
  }
  editor.close();
}
BENCHMARK(BM_KnobStepShownAtIdle)->Unit(benchmark::kMicrosecond);

// The host calls it 25 times a second: with nothing to redraw it should cost next to nothing.
void BM_IdleWithNothingToDo(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  for (auto _ : state) editor.effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);
  editor.close();
}
BENCHMARK(BM_IdleWithNothingToDo)->Unit(benchmark::kNanosecond);

void BM_KnobDragOf100Steps(benchmark::State& state) {
  EditorHost editor;
  editor.open();
  for (auto _ : state) {
    // Around the interval knob from its left to its right over the top, then released.
    platform::headless::InputScript script;
    script.press(Key::leftButton, {43, 178});
    script.moveTo({93, 128}, 50).moveTo({143, 178}, 50);
    script.release(Key::leftButton);
    script.play();
    platform::headless::sendMessage(editor.window, {MessageType::leftButtonDown, {43, 178}, 0});
  }
  // Where the drag left the interval (5/6 at the knob's right): shows the drag really ran.
  state.counters["interval"] = editor.effect.getParameter(kIntervalParameter);
  editor.close();
}
BENCHMARK(BM_KnobDragOf100Steps)->Unit(benchmark::kMicrosecond);

}  // namespace

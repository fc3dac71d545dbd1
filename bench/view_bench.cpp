// What drawing the editor window costs: a full paint through the back buffer, an idle pass that
// redraws one 100 x 100 view, and an idle pass with nothing to redraw (which should cost next
// to nothing, since the host calls it many times a second).
#include <benchmark/benchmark.h>

#include "platform/headless/window.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace {

using namespace VSTGUI;

class FilledView : public CView {
 public:
  FilledView(const CRect& size, CColor color) : CView(size), color(color) {}
  void draw(CDrawContext* context) override {
    context->setFillColor(color);
    context->fillRect(CRect(size.left - 1, size.top - 1, size.right, size.bottom));
    CView::draw(context);
  }
  CColor color;
};

// The editor's window: 328 x 264 with two knob-sized views and a background.
struct Editor {
  Editor() {
    frame->setBackgroundColor(kColorGrey);
    frame->addView(knob);
    frame->addView(new FilledView(CRect(200, 60, 300, 160), kColorWhite));
    paint();
  }
  ~Editor() { frame->forget(); }
  void paint() {
    platform::invalidateWindow(frame->getWindowHandle(), {0, 0, 328, 264});
    platform::dispatchPendingPaint();
  }
  platform::headless::Window host{{0, 0, 800, 600}};
  CFrame* frame = new CFrame(CRect(0, 0, 328, 264), host.handle());
  FilledView* knob = new FilledView(CRect(60, 60, 160, 160), kColorRed);
};

void fullWindowPaint(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) editor.paint();
  state.SetItemsProcessed(state.iterations() * 328 * 264);
}
BENCHMARK(fullWindowPaint)->Unit(benchmark::kMicrosecond);

void idleRedrawingOneView(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) {
    editor.knob->setDirty(true);
    editor.frame->idle();
  }
}
BENCHMARK(idleRedrawingOneView)->Unit(benchmark::kMicrosecond);

void idleWithNothingDirty(benchmark::State& state) {
  Editor editor;
  for (auto _ : state) editor.frame->idle();
}
BENCHMARK(idleWithNothingDirty)->Unit(benchmark::kNanosecond);

}  // namespace

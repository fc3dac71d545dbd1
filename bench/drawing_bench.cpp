// What opening the editor costs in pictures: a new bitmap of the largest resource (the knob strip,
// decoded once for the process), the background drawn onto a whole window (a copy: it is opaque),
// and one knob picture blended over it (its ground is transparent).
#include <benchmark/benchmark.h>

#include "platform/headless/surface.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

namespace {

void decodeKnobStrip(benchmark::State& state) {
  for (auto _ : state) {
    auto* strip = new VSTGUI::CBitmap(129);
    benchmark::DoNotOptimize(strip->getImage());
    strip->forget();
  }
  state.SetItemsProcessed(state.iterations() * 100 * 6000);
}
BENCHMARK(decodeKnobStrip)->Unit(benchmark::kMillisecond);

// A picture drawn onto a window-sized surface over and over: the background copied whole, or one
// knob picture blended over the window.
void drawPicture(benchmark::State& state, int resource, VSTGUI::CRect place, VSTGUI::CPoint offset) {
  auto* picture = new VSTGUI::CBitmap(resource);
  platform::headless::HeadlessSurface window(328, 264);
  VSTGUI::CDrawContext context(nullptr, &window, nullptr);
  for (auto _ : state) {
    picture->drawAlphaBlend(&context, place, offset, 255);
    benchmark::DoNotOptimize(window.image().memoryRow(0));
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(place.width() * place.height()));
  picture->forget();
}
BENCHMARK_CAPTURE(drawPicture, blendWholeWindow, 128, VSTGUI::CRect(0, 0, 328, 264), VSTGUI::CPoint())
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(drawPicture, blendKnobPicture, 129, VSTGUI::CRect(43, 128, 143, 228),
                  VSTGUI::CPoint(0, 2900))
    ->Unit(benchmark::kMicrosecond);

}  // namespace

// What opening the editor costs in pictures: decoding the largest resource (the knob strip) and
// one alpha blend of a whole window (the background onto the back buffer).
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

void blendWholeWindow(benchmark::State& state) {
  auto* background = new VSTGUI::CBitmap(128);
  platform::headless::HeadlessSurface window(328, 264);
  VSTGUI::CDrawContext context(nullptr, &window, nullptr);
  const VSTGUI::CRect all(0, 0, 328, 264);
  for (auto _ : state) {
    background->drawAlphaBlend(&context, all, VSTGUI::CPoint(), 255);
    benchmark::DoNotOptimize(window.image().memoryRow(0));
  }
  state.SetItemsProcessed(state.iterations() * 328 * 264);
  background->forget();
}
BENCHMARK(blendWholeWindow)->Unit(benchmark::kMicrosecond);

}  // namespace

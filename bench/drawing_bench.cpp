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

void blendKnobPicture(benchmark::State& state) {
  auto* knob = new VSTGUI::CBitmap(129);
  platform::headless::HeadlessSurface window(328, 264);
  VSTGUI::CDrawContext context(nullptr, &window, nullptr);
  const VSTGUI::CRect place(43, 128, 143, 228);
  for (auto _ : state) {
    knob->drawAlphaBlend(&context, place, VSTGUI::CPoint(0, 2900), 255);
    benchmark::DoNotOptimize(window.image().memoryRow(0));
  }
  state.SetItemsProcessed(state.iterations() * 100 * 100);
  knob->forget();
}
BENCHMARK(blendKnobPicture)->Unit(benchmark::kMicrosecond);

}  // namespace

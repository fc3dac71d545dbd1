// Feeds arbitrary bytes to the bitmap loader as a PNG resource: every input must end in either a
// decoded picture of the size its header gives or no picture, and drawing must stay inside memory.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/headless/surface.h"
#include "platform/resources.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cdrawcontext.h"

namespace {
constexpr std::uint16_t kNumber = 999;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  platform::unregisterResources();
  platform::registerResource("PNG", kNumber, std::span<const std::uint8_t>(data, size));
  auto* bitmap = new VSTGUI::CBitmap(kNumber);
  if (const platform::Bitmap* image = bitmap->getImage()) {
    if (image->width() != bitmap->getWidth() || image->height() != bitmap->getHeight()) __builtin_trap();
    platform::headless::HeadlessSurface surface(16, 16);
    VSTGUI::CDrawContext context(nullptr, &surface, nullptr);
    bitmap->draw(&context, VSTGUI::CRect(-3, -3, 16, 16), VSTGUI::CPoint(bitmap->getWidth() - 8, 2));
    bitmap->drawAlphaBlend(&context, VSTGUI::CRect(0, 0, 16, 16), VSTGUI::CPoint(-4, bitmap->getHeight() - 4),
                           100);
  }
  bitmap->forget();
  platform::unregisterResources();
  return 0;
}

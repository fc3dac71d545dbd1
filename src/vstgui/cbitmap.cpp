#include "vstgui/cbitmap.h"

#include <png.h>

#include <csetjmp>
#include <new>
#include <cstring>

#include "platform/module.h"
#include "platform/resources.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

struct ReadSource {
  const std::uint8_t* address;
  std::size_t position;
  std::size_t size;
};

// A read past the end is an error: the decoder must never go on with whatever its buffer held.
void readCallback(png_structp png, png_bytep data, png_size_t length) {
  auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
  if (!source || length > source->size - source->position) png_error(png, "read past the end of the resource");
  std::memcpy(data, source->address + source->position, length);
  source->position += length;
}

void premultiply(platform::Bitmap& image) {
  for (int row = 0; row < image.height(); ++row) {
    std::uint8_t* p = image.memoryRow(row);
    for (int x = 0; x < image.width(); ++x, p += 4) {
      const unsigned a = p[3];
      if (a == 0) {
        p[0] = p[1] = p[2] = 0;
        continue;
      }
      // A shift instead of a division: opaque 255 is stored as 254.
      p[0] = static_cast<std::uint8_t>((p[0] * a) >> 8);
      p[1] = static_cast<std::uint8_t>((p[1] * a) >> 8);
      p[2] = static_cast<std::uint8_t>((p[2] * a) >> 8);
    }
  }
}

// Decodes with the error return armed. Nothing with a destructor lives in this frame, because an
// error leaves it by a long jump; the image goes straight into the caller's `out`.
bool decode(png_structp png, png_infop info, ReadSource* source, std::unique_ptr<platform::Bitmap>& out) {
  if (setjmp(png_jmpbuf(png))) return false;

  png_set_user_limits(png, kMaxBitmapSide, kMaxBitmapSide);
  png_set_read_fn(png, source, readCallback);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);
  if (static_cast<std::uint64_t>(width) * height > kMaxBitmapPixels) png_error(png, "image too large");

  if (colorType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_tRNS_to_alpha(png);
  else
    png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  if (bitDepth == 16) {
    png_set_swap(png);
    png_set_strip_16(png);
  }
  png_set_bgr(png);
  // Interlaced pictures are decoded fully rather than left half-read.
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4) png_error(png, "unexpected row layout");

  out = platform::createBitmap(static_cast<int>(width), static_cast<int>(height));
  if (!out) png_error(png, "no memory for the image");
  // The picture's first row goes to the last memory row, which a bottom-up image shows at the top.
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, out->memoryRow(static_cast<int>(height - 1 - y)), nullptr);
  png_read_end(png, nullptr);
  premultiply(*out);
  return true;
}

std::unique_ptr<platform::Bitmap> decodePng(std::span<const std::uint8_t> bytes) {
  ReadSource source{bytes.data(), 0, bytes.size()};
  // The library's own version string: a decoder asked for another version refuses to start.
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return nullptr;
  png_infop info = png_create_info_struct(png);
  std::unique_ptr<platform::Bitmap> image;
  bool decoded = false;
  try {
    decoded = info && decode(png, info, &source, image);
  } catch (const std::bad_alloc&) {
    // No memory for the pixels: a failed load like any other, with the decoder given back.
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  if (!decoded) image.reset();
  return image;
}

platform::Rect destination(const CDrawContext* context, const CRect& rect) {
  return {rect.left + context->offset.x, rect.top + context->offset.y, rect.right + context->offset.x,
          rect.bottom + context->offset.y};
}

}  // namespace

CBitmap::CBitmap(std::int32_t resourceID) : resourceID(resourceID) {
  loadFromResource(resourceID);
  transparentColor = kColorTransparent;
}

CBitmap::~CBitmap() { dispose(); }

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset) {
  if (!noAlpha) return drawAlphaBlend(context, rect, offset, 255);
  if (!image || !context || !context->getSurface()) return;
  context->getSurface()->copyBitmap(*image, {offset.x, offset.y}, destination(context, rect));
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset) {
  if (!noAlpha) return drawAlphaBlend(context, rect, offset, 255);
  if (!image || !context || !context->getSurface()) return;
  // The platform's transparent copy only where the frame found it usable (the platform-version rule).
  context->getSurface()->copyBitmapTransparent(
      *image, {offset.x, offset.y}, destination(context, rect),
      {transparentColor.red, transparentColor.green, transparentColor.blue},
      CFrame::getImagingEntryPoints().transparentCopy);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset, std::uint8_t opacity) {
  if (!image || !context || !context->getSurface()) return;
  context->getSurface()->alphaBlendBitmap(*image, {offset.x, offset.y}, destination(context, rect), opacity,
                                          !noAlpha);
}

void CBitmap::dispose() {
  image.reset();
  width = 0;
  height = 0;
  noAlpha = false;
}

bool CBitmap::loadFromResource(std::int32_t id) {
  dispose();
  const auto number = static_cast<std::uint32_t>(id);
  const std::span<const std::uint8_t> png = platform::findResource(platform::moduleHandle(), "PNG", number);
  if (!png.empty()) {
    image = decodePng(png);
    if (!image) return false;
    width = image->width();
    height = image->height();
    noAlpha = false;
    return true;
  }
  image = platform::loadClassicBitmap(platform::moduleHandle(), number);
  if (!image) return false;
  width = image->width();
  height = image->height();
  noAlpha = true;
  return true;
}

bool CBitmap::loadFromPath(const void* /*platformPath*/) {
  dispose();
  return false;
}

}  // namespace VSTGUI

#include "vstgui/cbitmap.h"

#include <png.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstring>
#include <mutex>
#include <new>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "platform/module.h"
#include "platform/resources.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"

namespace VSTGUI {
namespace {

using ReadSource = platform::ResourceStream;

// A read past the end is an error: the decoder must never go on with whatever its buffer held.
void readCallback(png_structp png, png_bytep data, png_size_t length) {
  auto* source = static_cast<ReadSource*>(png_get_io_ptr(png));
  if (!source || !source->read(data, length)) png_error(png, "read past the end of the resource");
}

// One pixel of what the decoder gives, red, green, blue, alpha, as the image holds it: blue, green,
// red, alpha with each colour byte c as c * a >> 8 (a shift instead of a division: opaque 255 is
// stored as 254), so a pixel with alpha 0 becomes four zero bytes. Red and blue share one
// multiplication, each product fitting the 16 bits of its half, and a rotation by 16 bits swaps
// them.
std::uint32_t premultiplied(std::uint32_t pixel) {
  const std::uint32_t a = pixel >> 24;
  return std::rotl((pixel & 0x00ff00ffu) * a >> 8 & 0x00ff00ffu, 16) |
         ((pixel & 0x0000ff00u) * a >> 8 & 0x0000ff00u) | a << 24;
}

#ifdef __SSE2__
// The same for two pixels spread to 16-bit lanes.
inline __m128i premultipliedTwo(__m128i rgba) {
  const __m128i alpha = _mm_shufflehi_epi16(_mm_shufflelo_epi16(rgba, 0xff), 0xff);
  const __m128i products = _mm_srli_epi16(_mm_mullo_epi16(rgba, alpha), 8);
  const __m128i bgr =
      _mm_shufflehi_epi16(_mm_shufflelo_epi16(products, _MM_SHUFFLE(3, 0, 1, 2)), _MM_SHUFFLE(3, 0, 1, 2));
  const __m128i alphaLanes = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
  return _mm_or_si128(_mm_andnot_si128(alphaLanes, bgr), _mm_and_si128(alphaLanes, rgba));
}
#endif

// Premultiplies the whole image in place; answers whether every pixel is opaque.
bool premultiply(platform::Bitmap& image) {
  static_assert(std::endian::native == std::endian::little, "pixels are read as red in the low byte");
  const int width = image.width();
  std::uint32_t everyAlpha = 0xffu << 24;
#ifdef __SSE2__
  __m128i everyPixel = _mm_set1_epi32(-1);
#endif
  for (int row = 0; row < image.height(); ++row) {
    std::uint8_t* p = image.memoryRow(row);
    int x = 0;
#ifdef __SSE2__
    const __m128i zero = _mm_setzero_si128();
    for (; x + 4 <= width; x += 4) {
      auto* four = reinterpret_cast<__m128i*>(p + 4 * x);
      const __m128i pixels = _mm_loadu_si128(four);
      everyPixel = _mm_and_si128(everyPixel, pixels);
      _mm_storeu_si128(four, _mm_packus_epi16(premultipliedTwo(_mm_unpacklo_epi8(pixels, zero)),
                                              premultipliedTwo(_mm_unpackhi_epi8(pixels, zero))));
    }
#endif
    for (; x < width; ++x) {
      std::uint32_t pixel;
      std::memcpy(&pixel, p + 4 * x, 4);
      everyAlpha &= pixel;
      pixel = premultiplied(pixel);
      std::memcpy(p + 4 * x, &pixel, 4);
    }
  }
#ifdef __SSE2__
  alignas(16) std::uint32_t lanes[4];
  _mm_store_si128(reinterpret_cast<__m128i*>(lanes), everyPixel);
  for (std::uint32_t lane : lanes) everyAlpha &= lane;
#endif
  return (everyAlpha >> 24) == 0xff;
}

// The signature and the chunks up to the image data. Runs under the caller's error return.
void readHeader(png_structp png, png_infop info, ReadSource* source) {
  png_set_user_limits(png, kMaxBitmapSide, kMaxBitmapSide);
  // Only the library's own pictures are read, which are checked when they are made: their
  // checksums would guard against nothing a damaged library would not show anyway, and checking
  // them costs more than the rest of decoding an uncompressed picture.
  png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
  png_set_read_fn(png, source, readCallback);
  png_read_info(png, info);
  if (static_cast<std::uint64_t>(png_get_image_width(png, info)) * png_get_image_height(png, info) >
      kMaxBitmapPixels)
    png_error(png, "image too large");
}

struct Size {
  int width = 0;
  int height = 0;
};

struct Decoded {
  std::unique_ptr<platform::Bitmap> image;  // null when the picture does not decode
  bool opaque = false;
};

// Each step below runs with the error return armed in its own frame, so nothing with a destructor
// lives there: an error leaves it by a long jump. What it makes goes straight into the caller's
// objects.
bool readSize(png_structp png, png_infop info, ReadSource* source, Size* size) {
  if (setjmp(png_jmpbuf(png))) return false;
  readHeader(png, info, source);
  size->width = static_cast<int>(png_get_image_width(png, info));
  size->height = static_cast<int>(png_get_image_height(png, info));
  return true;
}

bool decode(png_structp png, png_infop info, ReadSource* source, Decoded* out) {
  if (setjmp(png_jmpbuf(png))) return false;

  readHeader(png, info, source);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colorType = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colorType, nullptr, nullptr, nullptr);

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
  // Interlaced pictures are decoded fully rather than left half-read.
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<png_size_t>(width) * 4)
    png_error(png, "unexpected row layout");

  out->image = platform::createBitmap(static_cast<int>(width), static_cast<int>(height));
  if (!out->image) png_error(png, "no memory for the image");
  // The picture's first row goes to the last memory row, which a bottom-up image shows at the top.
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y)
      png_read_row(png, out->image->memoryRow(static_cast<int>(height - 1 - y)), nullptr);
  png_read_end(png, nullptr);
  out->opaque = premultiply(*out->image);
  return true;
}

// Runs one of the steps above on a decoder of its own over the stream; false when the decoder could
// not be made, there was no memory, or the picture is damaged.
template <typename Output>
bool withDecoder(ReadSource& source, bool (*step)(png_structp, png_infop, ReadSource*, Output*),
                 Output* output) {
  // The library's own version string: a decoder asked for another version refuses to start.
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  bool done = false;
  try {
    done = info && step(png, info, &source, output);
  } catch (const std::bad_alloc&) {
    // No memory for the pixels: a failed load like any other, with the decoder given back.
  }
  png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  return done;
}

Decoded decodePng(std::uint16_t number) {
  Decoded decoded;
  const std::unique_ptr<ReadSource> png = platform::openResource(platform::moduleHandle(), "PNG", number);
  if (!png || !withDecoder(*png, decode, &decoded)) decoded.image.reset();
  return decoded;
}

// Pictures are decoded once for the whole process: the editor makes new bitmaps of the knob strip
// and the about picture at every open, and decoding the strip costs more than the rest of an open.
// Every bitmap still gets an image of its own (a platform image is never shared between two
// bitmaps), a platform copy of the decoded pixels (which shares their memory where the platform
// can): taken from the image of the bitmap that decoded the picture while that bitmap has it, and
// from a copy of it made when it lets the image go (so the first open pays for no copy). Pictures
// that do not decode are not kept.
struct DecodedPicture {
  std::uint16_t number;  // the resource's, under the generation below
  std::uint64_t generation;
  const platform::Bitmap* image;  // the decoding bitmap's image while it has it, then null
  bool opaque;
  std::unique_ptr<platform::Bitmap> kept;  // then: the copy of it

  const platform::Bitmap& pixels() const { return image ? *image : *kept; }
};

// Bitmaps may be made on two threads at once (two effects instantiated by two threads of a host).
std::mutex gDecodedLock;
std::vector<DecodedPicture> gDecoded;

Decoded copyOf(const DecodedPicture& picture) {
  return {platform::copyBitmap(picture.pixels()), picture.opaque};
}

// The size of a picture decoded before, so that a later bitmap of it need not read its header.
bool decodedSize(std::uint32_t resourceNumber, Size* size) {
  const auto number = static_cast<std::uint16_t>(resourceNumber & 0xFFFFu);
  const std::uint64_t generation = platform::resourceGeneration();
  std::lock_guard<std::mutex> held(gDecodedLock);
  for (const DecodedPicture& picture : gDecoded)
    if (picture.number == number && picture.generation == generation) {
      *size = {picture.pixels().width(), picture.pixels().height()};
      return true;
    }
  return false;
}

Decoded loadPng(std::uint32_t resourceNumber) {
  const auto number = static_cast<std::uint16_t>(resourceNumber & 0xFFFFu);
  const std::uint64_t generation = platform::resourceGeneration();
  std::lock_guard<std::mutex> held(gDecodedLock);
  try {
    std::erase_if(gDecoded, [&](const DecodedPicture& picture) { return picture.generation != generation; });
    for (const DecodedPicture& picture : gDecoded)
      if (picture.number == number) return copyOf(picture);
  } catch (const std::bad_alloc&) {
    return {};  // no memory for the copy: as if the picture had not decoded
  }
  Decoded decoded = decodePng(number);
  if (!decoded.image) return decoded;
  try {
    gDecoded.push_back({number, generation, decoded.image.get(), decoded.opaque, nullptr});
  } catch (const std::bad_alloc&) {
    // No memory to remember it: the next bitmap decodes again.
  }
  return decoded;
}

// A bitmap gives its image up: a picture decoded into it keeps a copy of the pixels.
void letGo(const platform::Bitmap& image) {
  std::lock_guard<std::mutex> held(gDecodedLock);
  const auto found = std::find_if(gDecoded.begin(), gDecoded.end(),
                                  [&](const DecodedPicture& picture) { return picture.image == &image; });
  if (found == gDecoded.end()) return;
  try {
    found->kept = platform::copyBitmap(image);
  } catch (const std::bad_alloc&) {
    // kept stays null
  }
  found->image = nullptr;
  if (!found->kept) gDecoded.erase(found);  // no memory for the copy: the next bitmap decodes again
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

const platform::Bitmap* CBitmap::getImage() const {
  if (pending.load(std::memory_order_acquire)) {
    std::lock_guard<std::mutex> held(decoding);
    if (pending.load(std::memory_order_relaxed)) {
      Decoded decoded = loadPng(pendingNumber);
      image = std::move(decoded.image);
      opaque = decoded.opaque;
      pending.store(false, std::memory_order_release);
    }
  }
  return image.get();
}

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

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset,
                             std::uint8_t opacity) {
  if (!context || !context->getSurface() || !getImage()) return;
  // Over an opaque picture at full opacity the blend keeps nothing of what was under it.
  if (opacity == 255 && opaque)
    return context->getSurface()->copyBitmap(*image, {offset.x, offset.y}, destination(context, rect));
  context->getSurface()->alphaBlendBitmap(*image, {offset.x, offset.y}, destination(context, rect), opacity,
                                          !noAlpha);
}

void CBitmap::dispose() {
  if (image) letGo(*image);
  image.reset();
  pending.store(false, std::memory_order_relaxed);
  opaque = false;
  width = 0;
  height = 0;
  noAlpha = false;
}

bool CBitmap::loadFromResource(std::int32_t id) {
  dispose();
  const auto number = static_cast<std::uint32_t>(id);
  Size size;
  const bool known = decodedSize(number, &size);
  const std::unique_ptr<ReadSource> png =
      known ? nullptr : platform::openResource(platform::moduleHandle(), "PNG", number);
  if (known || png) {
    if (!known && !withDecoder(*png, readSize, &size)) return false;
    width = size.width;
    height = size.height;
    noAlpha = false;
    pendingNumber = number;
    pending.store(true, std::memory_order_release);
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

#include "editor_snapshot.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "effect/fadecrestvst.h"
#include "output_target.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"

namespace render {
namespace {

// A point inside the title, where the about picture opens.
constexpr platform::Point kTitle{160, 50};

void writePng(const raster::Image& image, const std::string& path, bool replace) {
  OutputTarget target(planOutput(path, replace));
  int fd = dup(target.fd());
  std::unique_ptr<FILE, int (*)(FILE*)> file(fd >= 0 ? fdopen(fd, "wb") : nullptr, &std::fclose);
  if (!file) {
    if (fd >= 0) close(fd);
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    throw std::runtime_error("cannot encode " + path);
  }
  std::vector<png_byte> row(static_cast<size_t>(image.width()) * 4);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("cannot encode " + path);
  }
  png_init_io(png, file.get());
  png_set_IHDR(png, info, image.width(), image.height(), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      // A window shows opaque pixels; what is stored is premultiplied blue, green, red.
      raster::Pixel p = image.pixel(x, y);
      png_byte* out = &row[static_cast<size_t>(x) * 4];
      out[0] = p.red;
      out[1] = p.green;
      out[2] = p.blue;
      out[3] = 255;
    }
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  if (std::fflush(file.get()) != 0 || std::ferror(file.get()))
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  target.commit();
}

}  // namespace

void writeEditorSnapshot(const FadeSettings& settings, const std::string& path, bool withAbout,
                         bool replace) {
  // The editor drawn here, by the plug-in's own code on the display-less window system linked into
  // this program: the loaded module draws on an X server, whose pixels it keeps to itself. The
  // effect is set as the loaded one was.
  FadecrestVST effect(nullptr);
  effect.setProgram(settings.program);
  effect.setParameter(kIntervalParameter, settings.interval);
  effect.setParameter(kDurationParameter, settings.duration);
  ERect* rect = nullptr;
  if (!effect.dispatcher(effEditGetRect, 0, 0, &rect, 0) || !rect)
    throw std::runtime_error("the plug-in has no editor to show");
  const int width = rect->right - rect->left, height = rect->bottom - rect->top;

  // The host's window; the editor opens its own window inside it, as it would in a real host.
  platform::headless::Window host(platform::Rect{100, 100, 100 + width, 100 + height});
  if (!effect.dispatcher(effEditOpen, 0, 0, host.handle(), 0) || host.children().empty())
    throw std::runtime_error("the plug-in could not open its editor");
  platform::WindowHandle editorWindow = host.children().front()->handle();

  // The first paint of the whole window; a click on the title opens the about picture, and the idle
  // pass after it shows what changed.
  platform::invalidateWindow(editorWindow, {0, 0, width, height});
  platform::headless::dispatchMessages();
  if (withAbout) {
    platform::headless::setKeyDown(platform::Key::leftButton, true);
    platform::headless::sendMessage(editorWindow, {platform::MessageType::leftButtonDown, kTitle, 0});
    platform::headless::setKeyDown(platform::Key::leftButton, false);
  }
  effect.dispatcher(effEditIdle, 0, 0, nullptr, 0);

  raster::Image shown = host.children().front()->pixels();
  effect.dispatcher(effEditClose, 0, 0, nullptr, 0);
  writePng(shown, path, replace);
}

}  // namespace render

#include "editor_snapshot.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include "output_target.h"
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

void writeEditorSnapshot(PluginHost& effect, const std::string& path, bool withAbout, bool replace) {
  int width = 0, height = 0;
  if (!effect.hasEditor() || !effect.editorSize(width, height) || width <= 0 || height <= 0)
    throw std::runtime_error("the plug-in has no editor to show");

  // The host's window; the editor opens its own window inside it, as it would in a real host.
  platform::headless::Window host(platform::Rect{100, 100, 100 + width, 100 + height});
  if (!effect.openEditor(host.handle())) throw std::runtime_error("the plug-in could not open its editor");
  if (host.children().empty()) {
    effect.closeEditor();
    throw std::runtime_error("the plug-in's editor made no window");
  }
  platform::WindowHandle editorWindow = host.children().front()->handle();

  // The window system asks for a first paint of the whole window; idle passes then redraw what
  // changed. The window belongs to the plug-in's own copy of the window system, so its messages
  // are sent to it directly rather than queued here.
  auto paint = [&] {
    platform::invalidateWindow(editorWindow, {0, 0, width, height});
    platform::headless::sendMessage(editorWindow, {platform::MessageType::paint, {}, 0});
  };
  paint();
  if (withAbout)
    platform::headless::sendMessage(editorWindow, {platform::MessageType::leftButtonDown, kTitle, 0});
  effect.idleEditor();

  raster::Image shown = host.children().front()->pixels();
  effect.closeEditor();
  writePng(shown, path, replace);
}

}  // namespace render

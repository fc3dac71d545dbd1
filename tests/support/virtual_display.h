// A virtual X display of a test's own (Xvfb, never the desktop's: tests move the pointer), and what
// a test does on it: read a window's pixels back from the server, run X programs on it (xdotool for
// real input), and keep running them while the caller serves its windows.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/child_arguments.h"
#include "support/picture.h"

namespace xtest {

using pictures::Picture;
using pictures::readPng;
using pictures::writePng;

// The words of a line, as a program's arguments.
inline std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

// A child process that runs on its own; the object waits for it (or ends it) when it goes.
class Process {
 public:
  // What the process prints goes to `output` (appended), or nowhere.
  Process(const std::vector<std::string>& argv, const std::map<std::string, std::string>& environment,
          int keepOpen = -1, const std::string& output = "/dev/null") {
    const ChildArguments child(argv, environment);
    const char* outputPath = output.c_str();
    pid_ = fork();
    if (pid_ == 0) {
      // A test that dies (an X error ends it by default) takes its display and programs with it.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      const int printed = open(outputPath, O_WRONLY | O_CREAT | O_APPEND, 0644);
      dup2(printed, 1);
      dup2(printed, 2);
      for (int fd = 3; fd < 256; ++fd)
        if (fd != keepOpen) close(fd);
      child.exec();
      _exit(127);
    }
  }
  ~Process() {
    if (running()) kill(pid_, SIGTERM);
    wait();
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool running() {
    if (pid_ <= 0 || exited_) return false;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exited_ = true;
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return false;
  }
  int wait() {
    if (pid_ > 0 && !exited_) {
      int status = 0;
      waitpid(pid_, &status, 0);
      exited_ = true;
      exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exitCode_;
  }
  // Keeps calling `serve` until the process has ended or `limit` has passed; its exit code, or -1.
  int serveUntilExit(const std::function<void()>& serve,
                     std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (running() && std::chrono::steady_clock::now() < deadline) {
      serve();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return running() ? -1 : exitCode_;
  }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
  int exitCode_ = -1;
};

// Xvfb on a display number it picks itself, with a connection of the test's own. $DISPLAY names it
// for everything the test starts, the plug-in's own connection included.
class VirtualDisplay {
 public:
  // `memoryOfItsOwn`: the server sees none of our shared memory, as one on another machine.
  explicit VirtualDisplay(int depth = 24, std::vector<std::string> options = {},
                          bool memoryOfItsOwn = false) {
    int pipe[2];
    if (::pipe(pipe) != 0) return;
    std::vector<std::string> argv{"/usr/bin/Xvfb", "-displayfd", std::to_string(pipe[1]),
                                  "-screen",       "0",          "1024x768x" + std::to_string(depth),
                                  "-nolisten",     "tcp"};
    argv.insert(argv.end(), options.begin(), options.end());
    if (memoryOfItsOwn) argv.insert(argv.begin(), {"/usr/bin/unshare", "--ipc"});
    server_ = std::make_unique<Process>(argv, std::map<std::string, std::string>{}, pipe[1]);
    close(pipe[1]);
    std::string number;
    pollfd readable{pipe[0], POLLIN, 0};
    char c = 0;
    while (poll(&readable, 1, 10000) > 0 && read(pipe[0], &c, 1) == 1 && c != '\n') number += c;
    close(pipe[0]);
    if (number.empty()) return;
    name_ = ":" + number;
    setenv("DISPLAY", name_.c_str(), 1);
    connection_ = XOpenDisplay(name_.c_str());
  }
  ~VirtualDisplay() {
    if (connection_) XCloseDisplay(connection_);
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  Display* connection() const { return connection_; }
  const std::string& name() const { return name_; }
  Window root() const { return DefaultRootWindow(connection_); }

  // A program on this display, running on its own.
  std::unique_ptr<Process> start(const std::vector<std::string>& argv,
                                 std::map<std::string, std::string> environment = {},
                                 const std::string& output = "/dev/null") const {
    environment["DISPLAY"] = name_;
    return std::make_unique<Process>(argv, environment, -1, output);
  }
  // xdotool with the arguments given, while `serve` keeps the caller's windows served.
  bool xdotool(
      const std::vector<std::string>& arguments, const std::function<void()>& serve = [] {}) const {
    std::vector<std::string> argv{"/usr/bin/xdotool"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    return start(argv)->serveUntilExit(serve) == 0;
  }

  // A top-level window at a place of the screen, shown.
  Window makeWindow(int x, int y, int width, int height) const {
    const Window window = XCreateSimpleWindow(connection_, root(), x, y, static_cast<unsigned>(width),
                                              static_cast<unsigned>(height), 0, 0, 0);
    XMapWindow(connection_, window);
    XSync(connection_, False);
    return window;
  }

  // What the server shows of a window; nothing while it is not shown.
  Picture grab(Window window, int width, int height) const {
    Picture picture{width, height, {}};
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(connection_, window, &attributes) || attributes.map_state != IsViewable)
      return {};
    XImage* image = XGetImage(connection_, window, 0, 0, static_cast<unsigned>(width),
                              static_cast<unsigned>(height), AllPlanes, ZPixmap);
    if (!image) return {};
    picture.rgb.reserve(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const unsigned long pixel = XGetPixel(image, x, y);
        picture.rgb.insert(picture.rgb.end(),
                           {static_cast<std::uint8_t>(pixel >> 16), static_cast<std::uint8_t>(pixel >> 8),
                            static_cast<std::uint8_t>(pixel)});
      }
    XDestroyImage(image);
    return picture;
  }

  // The first window under `top`, depth first, whose class names start with `prefix`; 0 if none.
  // Windows come and go while the walk runs (a host starting up): errors about them are no fault.
  Window findByClass(Window top, const std::string& prefix) const {
    XSync(connection_, False);
    const XErrorHandler previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    const Window found = findByClassBelow(top, prefix);
    XSync(connection_, False);
    XSetErrorHandler(previous);
    return found;
  }

  // A window's property of 32-bit items, as longs; empty when it has none.
  std::vector<long> property(Window window, const char* name) const {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(connection_, window, XInternAtom(connection_, name, False), 0, 64, False,
                       AnyPropertyType, &type, &format, &count, &after, &data);
    std::vector<long> items;
    if (data && format == 32)
      items.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
    if (data) XFree(data);
    return items;
  }

  // What the server holds for the client that owns a window: its resources by type, or nothing
  // when no client owns it.
  std::map<std::string, int> resourcesOfOwner(XID window) const {
    int count = 0;
    XResClient* clients = nullptr;
    std::map<std::string, int> resources;
    XResQueryClients(connection_, &count, &clients);
    for (int i = 0; i < count; ++i) {
      if ((window & ~clients[i].resource_mask) != clients[i].resource_base) continue;
      int types = 0;
      XResType* held = nullptr;
      XResQueryClientResources(connection_, clients[i].resource_base, &types, &held);
      for (int t = 0; t < types; ++t) {
        char* name = XGetAtomName(connection_, held[t].resource_type);
        resources[name] = static_cast<int>(held[t].count);
        XFree(name);
      }
      XFree(held);
    }
    XFree(clients);
    return resources;
  }

  // The window's children, as the server has them now.
  std::vector<Window> children(Window window) const {
    Window root = 0, parent = 0;
    Window* list = nullptr;
    unsigned int count = 0;
    std::vector<Window> result;
    if (XQueryTree(connection_, window, &root, &parent, &list, &count)) result.assign(list, list + count);
    if (list) XFree(list);
    return result;
  }

 private:
  Window findByClassBelow(Window top, const std::string& prefix) const {
    XClassHint hint{};
    bool found = false;
    if (XGetClassHint(connection_, top, &hint)) {
      found = hint.res_class && std::string(hint.res_class).rfind(prefix, 0) == 0;
      XFree(hint.res_name);
      XFree(hint.res_class);
    }
    if (found) return top;
    for (Window child : children(top))
      if (Window inside = findByClassBelow(child, prefix)) return inside;
    return 0;
  }

  std::unique_ptr<Process> server_;
  std::string name_;
  Display* connection_ = nullptr;
};

}  // namespace xtest

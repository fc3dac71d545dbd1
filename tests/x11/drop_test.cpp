// Drops from real toolkits' drag sources onto a frame on the X11 backend, on a virtual display: a
// Qt 5 program and a Tk program with tkdnd drag files and text with real input through the X
// server, and the views see each drag enter and drop with the right number of items. The sources
// find the frame's window by its XdndAware property alone: nothing is put on the host's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "probe_view.h"
#include "vstgui/cframe.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"

namespace {

using namespace VSTGUI;

constexpr int kWidth = 328, kHeight = 264;
constexpr int kHostX = 100, kHostY = 100;
constexpr int kSourceX = 600, kSourceY = 100;
const std::string kSourceTitle = "Fadecrest drag source";

class RealDrops : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
    host = display.makeWindow(kHostX, kHostY, kWidth, kHeight);
    frame = new CFrame(CRect(0, 0, kWidth, kHeight), reinterpret_cast<void*>(host), nullptr);
    ASSERT_NE(frame->getWindowHandle(), nullptr);
    frame->addView(new probe::DragProbe(CRect(0, 0, kWidth, kHeight), log, "P"));
  }
  void TearDown() override {
    if (frame) frame->forget();
  }

  // Drags from the source's window onto the frame's with separate steps, as a person would, and
  // serves the frame until the source has heard how the drop went; the source's exit code.
  int drag(const std::vector<std::string>& source) {
    const auto serve = [this] { frame->idle(); };
    auto program = display.start(source);
    EXPECT_TRUE(display.xdotool({"search", "--sync", "--onlyvisible", "--name", kSourceTitle}, serve));
    const std::string from = std::to_string(kSourceX + 100) + " " + std::to_string(kSourceY + 50);
    const int toX = kHostX + 164, toY = kHostY + 132;
    for (const std::string& step :
         {"mousemove " + from, std::string("mousedown 1"),
          "mousemove " + std::to_string(kSourceX + 90) + " 160",
          "mousemove " + std::to_string(toX) + " " + std::to_string(toY),
          "mousemove " + std::to_string(toX + 2) + " " + std::to_string(toY + 2), std::string("mouseup 1")}) {
      std::vector<std::string> arguments;
      std::istringstream words(step);
      for (std::string word; words >> word;) arguments.push_back(word);
      EXPECT_TRUE(display.xdotool(arguments, serve)) << step;
      program->serveUntilExit(serve, std::chrono::milliseconds(30));
    }
    return program->serveUntilExit(serve, std::chrono::seconds(10));
  }
  // The drag events the probe saw, each as "what count".
  std::vector<std::string> seen() const {
    std::vector<std::string> events;
    for (const std::string& entry : log)
      events.push_back(entry.substr(2, entry.find(' ', 2) - 2) + " " + entry.substr(entry.rfind(' ') + 1));
    return events;
  }
  bool saw(const std::string& event) const {
    const std::vector<std::string> events = seen();
    return std::find(events.begin(), events.end(), event) != events.end();
  }

  xtest::VirtualDisplay display;
  Window host = 0;
  CFrame* frame = nullptr;
  std::vector<std::string> log;
};

constexpr int kCopied = 1;

TEST_F(RealDrops, QtFilesAndText) {
  const std::string qt = FADECREST_QT_SOURCE;
  const std::vector<std::string> files{
      "/usr/bin/python3",       qt,      kSourceTitle,   std::to_string(kSourceX),
      std::to_string(kSourceY), "files", "/tmp/one.wav", "/tmp/two three.wav",
      "/tmp/four.wav"};
  EXPECT_EQ(drag(files), kCopied) << "the source heard of the drop as a copy";
  EXPECT_TRUE(saw("enter 3")) << testing::PrintToString(log);
  EXPECT_TRUE(saw("drop 3")) << testing::PrintToString(log);

  log.clear();
  EXPECT_EQ(drag({"/usr/bin/python3", qt, kSourceTitle, std::to_string(kSourceX), std::to_string(kSourceY),
                  "text", "Fadecrest"}),
            kCopied);
  EXPECT_TRUE(saw("enter 1")) << testing::PrintToString(log);
  EXPECT_TRUE(saw("drop 1")) << testing::PrintToString(log);
}

TEST_F(RealDrops, TkFilesAndText) {
  const std::string tk = FADECREST_TK_SOURCE;
  EXPECT_EQ(drag({"/usr/bin/wish", tk, kSourceTitle, std::to_string(kSourceX), std::to_string(kSourceY),
                  "files", "/tmp/one.wav", "/tmp/two.wav"}),
            0);
  EXPECT_TRUE(saw("enter 2")) << testing::PrintToString(log);
  EXPECT_TRUE(saw("drop 2")) << testing::PrintToString(log);

  log.clear();
  EXPECT_EQ(drag({"/usr/bin/wish", tk, kSourceTitle, std::to_string(kSourceX), std::to_string(kSourceY),
                  "text", "Fadecrest"}),
            0);
  EXPECT_TRUE(saw("enter 1")) << testing::PrintToString(log);
  EXPECT_TRUE(saw("drop 1")) << testing::PrintToString(log);
}

}  // namespace

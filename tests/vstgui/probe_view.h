// Views for tests that record what reached them, and a frame in a host window to put them in.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "platform/raster/image.h"
#include "vstgui/cdragcontainer.h"
#include "vstgui/cdrawcontext.h"
#include "vstgui/cframe.h"
#include "vstgui/cview.h"

namespace probe {

using namespace VSTGUI;

inline raster::Pixel pixelOf(const CColor& c) { return {c.blue, c.green, c.red, 255}; }

class ProbeView : public CView {
 public:
  ProbeView(const CRect& size, CColor color, bool* destroyed = nullptr)
      : CView(size), color(color), destroyed(destroyed) {}
  ~ProbeView() override {
    if (destroyed) *destroyed = true;
  }

  void draw(CDrawContext* context) override {
    ++draws;
    context->setFillColor(color);
    // fillRect leaves out the left column and top row; one larger on those sides covers size.
    context->fillRect(CRect(size.left - 1, size.top - 1, size.right, size.bottom));
    CView::draw(context);
  }
  void mouse(CDrawContext*, CPoint& where, std::int32_t buttons) override {
    presses.push_back(where);
    lastButtons = buttons;
  }
  using CView::onWheel;
  bool onWheel(CDrawContext*, const CPoint& where, float distance) override {
    wheels.push_back(distance);
    wheelPoint = where;
    return true;
  }
  std::int32_t onKeyDown(VstKeyCode&) override {
    ++keysAsked;
    return keyAnswer;
  }
  std::int32_t onKeyUp(VstKeyCode&) override { return keyAnswer; }
  void looseFocus(CDrawContext* context) override {
    ++focusLost;
    lostWithContext = context != nullptr;
  }

  CColor color;
  bool* destroyed;
  int draws = 0;
  std::vector<CPoint> presses;
  std::int32_t lastButtons = 0;
  std::vector<float> wheels;
  CPoint wheelPoint;
  int keysAsked = 0;
  std::int32_t keyAnswer = kKeyNotHandled;
  int focusLost = 0;
  bool lostWithContext = true;
};

// Writes down every drag event as "enter x,y n" (the point in the parent's coordinates, n the
// item count), and may keep the container.
class DragProbe : public CView {
 public:
  DragProbe(const CRect& size, std::vector<std::string>& log, const char* name)
      : CView(size), log(log), name(name) {}
  bool onDrop(CDrawContext*, CDragContainer* drag, const CPoint& where) override {
    record("drop", drag, where);
    return true;
  }
  void onDragEnter(CDrawContext*, CDragContainer* drag, const CPoint& where) override {
    record("enter", drag, where);
    if (keep && drag && !kept) {
      kept = drag;
      kept->remember();
    }
  }
  void onDragLeave(CDrawContext*, CDragContainer* drag, const CPoint& where) override {
    record("leave", drag, where);
  }
  void onDragMove(CDrawContext*, CDragContainer* drag, const CPoint& where) override {
    record("move", drag, where);
  }

  std::vector<std::string>& log;
  std::string name;
  bool keep = false;
  CDragContainer* kept = nullptr;

 private:
  void record(const char* what, CDragContainer* drag, const CPoint& where) {
    log.push_back(name + " " + what + " " + std::to_string(where.x) + "," + std::to_string(where.y) + " " +
                  (drag ? std::to_string(drag->getCount()) : "null"));
  }
};

// A frame in a host window at screen (100, 200), made by the test, which must give back everything
// it took once it is gone.
class FrameTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::headless::resetInput();
    platform::headless::resetWindowSystem();
  }
  void TearDown() override {
    if (frame) frame->forget();
    EXPECT_EQ(CFrame::getWindowClassUseCount(), 0);
    EXPECT_EQ(platform::headless::registeredClassCount(), 0);
    EXPECT_EQ(platform::headless::oleDepth(), 0);
    EXPECT_EQ(platform::headless::imagingLibrariesLoaded(), 0);
  }
  CFrame* makeFrame(int width = 50, int height = 40, AEffGUIEditor* editor = nullptr) {
    frame = new CFrame(CRect(0, 0, width, height), host.handle(), editor);
    return frame;
  }
  ProbeView* add(ProbeView* view) {
    frame->addView(view);
    return view;
  }
  platform::headless::Window* frameWindow() {
    return platform::headless::Window::fromHandle(frame->getWindowHandle());
  }
  void paintAll() {
    platform::invalidateWindow(frame->getWindowHandle(), {0, 0, 1000, 1000});
    platform::headless::dispatchMessages();
  }
  void press(int x, int y) {
    platform::headless::postMessage(frame->getWindowHandle(),
                                    {platform::MessageType::leftButtonDown, {x, y}, 0});
    platform::headless::dispatchMessages();
  }
  VstKeyCode tab(bool shift = false) { return VstKeyCode{0, 2, static_cast<unsigned char>(shift ? 1 : 0)}; }

  platform::headless::Window host{{100, 200, 300, 400}};
  CFrame* frame = nullptr;
};

inline constexpr CColor kBlue{0, 0, 255, 255};
inline constexpr CColor kGreen{0, 255, 0, 255};

}  // namespace probe

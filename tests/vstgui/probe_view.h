// A view for tests: fills its rectangle with its colour when drawn and records what reached it.
#pragma once

#include <string>
#include <vector>

#include "platform/raster/image.h"
#include "vstgui/cdragcontainer.h"
#include "vstgui/cdrawcontext.h"
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

inline constexpr CColor kBlue{0, 0, 255, 255};
inline constexpr CColor kGreen{0, 255, 0, 255};

}  // namespace probe

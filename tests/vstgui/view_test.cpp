#include <gtest/gtest.h>

#include "platform/headless/input.h"
#include "platform/headless/surface.h"
#include "platform/headless/window.h"
#include "probe_view.h"
#include "test_pictures.h"
#include "vstgui/cframe.h"
#include "vstgui/cviewcontainer.h"

using namespace VSTGUI;
using probe::kBlue;
using probe::kGreen;
using probe::pixelOf;
using probe::ProbeView;

namespace {

// Views are created and added once, so each goes with the frame (which drops both references).
struct Tree {
  CFrame* frame = new CFrame(CRect(0, 0, 100, 100), nullptr);
  ~Tree() { frame->forget(); }
  template <typename View>
  View* add(View* view, CViewContainer* into = nullptr) {
    (into ? into : frame)->addView(view);
    return view;
  }
};

const raster::Image& pixels(COffscreenContext* context) {
  return static_cast<platform::headless::HeadlessSurface*>(context->getSurface())->image();
}

}  // namespace

TEST(View, EdgesCountForHitsAndUpdatesSizeLeavesTheMouseableAreaAndNoBackgroundDrawsNothing) {
  CView view(CRect(10, 10, 20, 20));
  EXPECT_TRUE(view.hitTest(CPoint(20, 20)));
  EXPECT_TRUE(view.hitTest(CPoint(10, 15)));
  EXPECT_FALSE(view.hitTest(CPoint(21, 15)));
  EXPECT_TRUE(view.checkUpdate(CRect(0, 0, 10, 10)));  // touches the corner only
  EXPECT_TRUE(view.checkUpdate(CRect(20, 20, 30, 30)));
  EXPECT_FALSE(view.checkUpdate(CRect(21, 0, 30, 30)));
  EXPECT_FALSE(view.checkUpdate(CRect(0, 21, 30, 30)));

  CRect moved(50, 50, 60, 60);
  view.setViewSize(moved);
  EXPECT_TRUE(view.isDirty());
  EXPECT_TRUE(view.hitTest(CPoint(15, 15)));  // still answers at the old place
  EXPECT_FALSE(view.hitTest(CPoint(55, 55)));

  // Without a background it draws nothing and is clean afterwards.
  testing_pictures::Canvas canvas(80, 80);
  view.draw(&canvas.context);
  EXPECT_FALSE(view.isDirty());
  EXPECT_EQ(testing_pictures::coverage(canvas.image()).count, 0);
}

TEST(Container, ChildReferencesFollowAddRemoveAndDestroy) {
  bool destroyed = false;
  auto* container = new CViewContainer(CRect(0, 0, 50, 50));
  auto* view = new ProbeView(CRect(0, 0, 10, 10), kBlue, &destroyed);
  container->addView(view);
  EXPECT_EQ(view->getNbReference(), 2);
  EXPECT_EQ(view->getParentView(), container);
  container->removeView(view, false);  // the creator's reference stays
  EXPECT_EQ(view->getNbReference(), 1);
  EXPECT_EQ(container->getNbViews(), 0);

  container->addView(view);
  container->addView(view);  // not tested for: two entries, two references
  EXPECT_EQ(container->getNbViews(), 2);
  EXPECT_EQ(view->getNbReference(), 3);
  container->removeView(view, false);
  container->removeView(view, false);
  container->removeView(view, false);  // no longer a child: nothing happens
  EXPECT_EQ(view->getNbReference(), 1);

  container->addView(view);
  container->removeView(view, true);  // takes the creator's reference too
  EXPECT_TRUE(destroyed);

  destroyed = false;
  container->addView(new ProbeView(CRect(0, 0, 5, 5), kBlue));
  auto* kept = new ProbeView(CRect(0, 0, 10, 10), kBlue, &destroyed);
  container->addView(kept);
  EXPECT_EQ(container->getView(1), kept);
  EXPECT_EQ(container->getView(-1), nullptr);
  EXPECT_EQ(container->getView(2), nullptr);
  container->forget();  // created once and added once: goes with its container
  EXPECT_TRUE(destroyed);
}

TEST(Container, TopmostChildTakesPressesWheelKeysAndLookups) {
  Tree tree;
  auto* under = tree.add(new ProbeView(CRect(0, 0, 1, 1), kBlue));
  auto* bottom = tree.add(new ProbeView(CRect(10, 10, 60, 60), kBlue));
  auto* top = tree.add(new ProbeView(CRect(40, 40, 90, 90), kGreen));
  CPoint where(50, 50);
  tree.frame->CViewContainer::mouse(nullptr, where, kButtonLeft);
  EXPECT_EQ(top->presses.size(), 1u);
  EXPECT_TRUE(bottom->presses.empty());
  EXPECT_TRUE(tree.frame->onWheel(nullptr, CPoint(50, 50), 1.0f));
  EXPECT_EQ(top->wheels.size(), 1u);

  // Not mouse-enabled: passed over by presses, still found by lookups and so given the wheel.
  top->setMouseEnabled(false);
  tree.frame->CViewContainer::mouse(nullptr, where, kButtonLeft);
  EXPECT_EQ(bottom->presses.size(), 1u);
  EXPECT_EQ(top->presses.size(), 1u);
  EXPECT_EQ(tree.frame->getViewAt(CPoint(50, 50)), top);
  EXPECT_TRUE(tree.frame->onWheel(nullptr, CPoint(50, 50), 1.0f));
  EXPECT_EQ(top->wheels.size(), 2u);

  // All four edges of the mouseable area count.
  EXPECT_EQ(tree.frame->getViewAt(CPoint(90, 90)), top);
  EXPECT_EQ(tree.frame->getViewAt(CPoint(10, 10)), bottom);
  EXPECT_EQ(tree.frame->getViewAt(CPoint(91, 50)), nullptr);

  // Keys, too, go topmost first, and the first answer ends the search.
  bottom->keyAnswer = 7;
  VstKeyCode key{'a', 0, 0};
  EXPECT_EQ(tree.frame->CViewContainer::onKeyDown(key), 7);
  EXPECT_EQ(top->keysAsked, 1);
  EXPECT_EQ(under->keysAsked, 0);
  bottom->keyAnswer = kKeyNotHandled;
  EXPECT_EQ(tree.frame->CViewContainer::onKeyDown(key), kKeyNotHandled);
  EXPECT_EQ(under->keysAsked, 1);
}

TEST(Container, PressesAndLookupsTravelInLocalCoordinatesThroughNestedContainers) {
  Tree tree;
  auto* inner = tree.add(new CViewContainer(CRect(20, 30, 80, 90)));
  auto* view = tree.add(new ProbeView(CRect(5, 5, 15, 15), kBlue), inner);
  EXPECT_EQ(view->getFrame(), tree.frame);
  CPoint where(30, 40);
  tree.frame->CViewContainer::mouse(nullptr, where, kButtonLeft);
  ASSERT_EQ(view->presses.size(), 1u);
  EXPECT_EQ(view->presses[0], CPoint(10, 10));
  EXPECT_EQ(tree.frame->getViewAt(CPoint(30, 40), false), inner);
  EXPECT_EQ(tree.frame->getViewAt(CPoint(30, 40), true), view);
  EXPECT_EQ(tree.frame->getViewAt(CPoint(22, 32), true), nullptr);  // inside inner, over no child

  CPoint p(0, 0);
  view->localToFrame(p);
  EXPECT_EQ(p, CPoint(20, 30));
  view->frameToLocal(p);
  EXPECT_EQ(p, CPoint(0, 0));

  // A view added before its container joined a frame keeps a null frame.
  auto* later = new CViewContainer(CRect(0, 0, 50, 50));
  auto* early = tree.add(new ProbeView(CRect(0, 0, 10, 10), kBlue), later);
  tree.add(later);
  EXPECT_EQ(later->getFrame(), tree.frame);
  EXPECT_EQ(early->getFrame(), nullptr);
  EXPECT_EQ(later->getViewAt(CPoint(5, 5)), early);  // the container itself has a frame now
}

TEST(Container, DrawsBackgroundAndChildrenClippedAtTheirOffsets) {
  Tree tree;
  auto* inner = tree.add(new CViewContainer(CRect(20, 20, 60, 60)));
  inner->setBackgroundColor(kGreen);
  tree.add(new ProbeView(CRect(30, 30, 50, 50), kBlue), inner);  // (50, 50, 70, 70) in the frame
  COffscreenContext* buffer = tree.frame->getBackBuffer();
  tree.frame->draw(buffer);
  const raster::Image& image = pixels(buffer);
  EXPECT_EQ(image.pixel(5, 5), pixelOf(kColorBlack));  // the frame's background
  EXPECT_EQ(image.pixel(25, 25), pixelOf(kGreen));
  EXPECT_EQ(image.pixel(55, 55), pixelOf(kBlue));
  EXPECT_EQ(image.pixel(65, 65), pixelOf(kColorBlack));  // the frame clips each child to its size
  EXPECT_FALSE(tree.frame->isDirty());

  // Drawn on its own, a container bounds its children by the incoming clip, not by itself; and
  // when transparent without a bitmap it leaves what is behind it.
  inner->setTransparency(true);
  buffer->setFillColor(kColorWhite);
  buffer->fillRect(CRect(-1, -1, 100, 100));
  inner->draw(buffer);
  EXPECT_EQ(image.pixel(25, 25), pixelOf(kColorWhite));
  EXPECT_EQ(image.pixel(55, 55), pixelOf(kBlue));
  EXPECT_EQ(image.pixel(69, 69), pixelOf(kBlue));
  EXPECT_EQ(image.pixel(71, 71), pixelOf(kColorWhite));
}

TEST(Container, DirtyChildCutByTheUpdateRectangleStaysDirtyUntilDrawnWhole) {
  Tree tree;
  auto* view = tree.add(new ProbeView(CRect(10, 10, 50, 50), kBlue));
  COffscreenContext* buffer = tree.frame->getBackBuffer();
  const raster::Image& image = pixels(buffer);
  view->setDirty(true);
  tree.frame->drawRect(buffer, CRect(0, 0, 30, 30));
  EXPECT_EQ(image.pixel(20, 20), pixelOf(kBlue));
  EXPECT_EQ(image.pixel(40, 40), pixelOf(kColorBlack));  // clipped away
  EXPECT_TRUE(view->isDirty());

  tree.frame->update(nullptr);  // through the back buffer
  EXPECT_EQ(image.pixel(40, 40), pixelOf(kBlue));
  EXPECT_FALSE(view->isDirty());

  // Lying wholly outside the frame, a dirty child does not make it dirty.
  auto* outside = tree.add(new ProbeView(CRect(200, 200, 210, 210), kBlue));
  EXPECT_TRUE(outside->isDirty());
  EXPECT_FALSE(tree.frame->isDirty());
}

TEST(Container, OnlyDirtyUpdateRedrawsDirtyChildrenAndNormalUpdateEverything) {
  Tree tree;
  auto* inner = tree.add(new CViewContainer(CRect(0, 0, 100, 100)));
  auto* a = tree.add(new ProbeView(CRect(0, 0, 10, 10), kBlue), inner);
  auto* b = tree.add(new ProbeView(CRect(50, 50, 60, 60), kGreen), inner);
  COffscreenContext* buffer = tree.frame->getBackBuffer();
  tree.frame->draw(buffer);
  ASSERT_EQ(a->draws, 1);
  ASSERT_EQ(b->draws, 1);

  a->setDirty(true);
  inner->update(buffer);
  EXPECT_EQ(a->draws, 2);
  EXPECT_EQ(b->draws, 1);  // untouched by a's rectangle
  EXPECT_FALSE(inner->isDirty());

  inner->setMode(kNormalUpdate);
  a->setDirty(true);
  inner->update(buffer);
  EXPECT_EQ(b->draws, 2);  // the whole container redrawn

  // Below the frame there is no context to fall back on: a null one redraws nothing.
  inner->redrawRect(nullptr, CRect(0, 0, 10, 10));
  inner->setDirty(true);
  inner->update(nullptr);
  EXPECT_EQ(b->draws, 2);
}

TEST(Container, RemovingChildrenOfALiveFrameClearsTheFocusAmongThem) {
  Tree tree;
  auto* inner = tree.add(new CViewContainer(CRect(0, 0, 50, 50)));
  auto* focused = tree.add(new ProbeView(CRect(0, 0, 10, 10), kBlue), inner);
  tree.frame->setFocusView(focused);
  inner->removeAll();
  EXPECT_EQ(tree.frame->getFocusView(), nullptr);

  focused = tree.add(new ProbeView(CRect(0, 0, 10, 10), kBlue), inner);
  tree.frame->setFocusView(focused);
  tree.frame->removeView(inner);  // destroys inner and the focus view inside it
  EXPECT_EQ(tree.frame->getFocusView(), nullptr);
}

TEST(Container, MouseLocationOfANestedViewIsInItsParentsCoordinates) {
  platform::headless::resetInput();
  platform::headless::Window window({100, 200, 200, 300});
  Tree tree;
  auto* inner = tree.add(new CViewContainer(CRect(20, 30, 80, 90)));
  auto* view = tree.add(new ProbeView(CRect(5, 5, 15, 15), kBlue), inner);
  platform::headless::setCursorPosition({150, 260});
  CDrawContext context(tree.frame, nullptr, window.handle());
  CPoint where;
  view->getMouseLocation(&context, where);
  EXPECT_EQ(where, CPoint(30, 30));
  EXPECT_EQ(context.offset, CPoint(0, 0));  // restored
  inner->getMouseLocation(&context, where);
  EXPECT_EQ(where, CPoint(50, 60));
}

TEST(Container, FocusWalkSkipsUpToTheOldViewAndDescends) {
  Tree tree;
  auto* a = tree.add(new ProbeView(CRect(0, 0, 1, 1), kBlue));
  auto* inner = tree.add(new CViewContainer(CRect(0, 0, 50, 50)));
  auto* b = tree.add(new ProbeView(CRect(0, 0, 1, 1), kBlue), inner);
  a->setWantsFocus(true);
  b->setWantsFocus(true);
  EXPECT_TRUE(tree.frame->CViewContainer::advanceNextFocusView(nullptr));
  EXPECT_EQ(tree.frame->getFocusView(), a);
  EXPECT_TRUE(tree.frame->CViewContainer::advanceNextFocusView(a));
  EXPECT_EQ(tree.frame->getFocusView(), b);
  EXPECT_TRUE(tree.frame->CViewContainer::advanceNextFocusView(nullptr, true));
  EXPECT_EQ(tree.frame->getFocusView(), b);
  auto* stranger = new CView(CRect(0, 0, 1, 1));
  EXPECT_FALSE(tree.frame->CViewContainer::advanceNextFocusView(stranger));
  stranger->forget();
}

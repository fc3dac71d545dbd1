#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/dragsource.h"
#include "probe_view.h"
#include "vstgui/cdragcontainer.h"
#include "vstgui/cdroptarget.h"

using namespace VSTGUI;
using platform::headless::DragObject;
using platform::headless::DragSession;
using platform::headless::Window;
using probe::DragProbe;

namespace {

// Frame window at screen (100, 200), 60 x 40; left view 0..29, right view 30..59 (edges inclusive).
class DragDropTest : public probe::FrameTest {
 protected:
  void SetUp() override {
    FrameTest::SetUp();
    makeFrame(60, 40);
    left = new DragProbe(CRect(0, 0, 29, 40), log, "L");
    right = new DragProbe(CRect(30, 0, 60, 40), log, "R");
    frame->addView(left);
    frame->addView(right);
  }
  void TearDown() override {
    FrameTest::TearDown();
    EXPECT_EQ(getCurrentDragContainer(), nullptr);
  }
  platform::DropTargetHandler* target() { return platform::headless::dropTargetOf(frame->getWindowHandle()); }

  DragProbe* left = nullptr;
  DragProbe* right = nullptr;
  std::vector<std::string> log;
};

}  // namespace

TEST(DragContainer, CountsTextAsOneItemElseTheFiles) {
  DragObject objects[] = {DragObject::ofText(), DragObject::ofFiles(3), DragObject(true, 5),
                          DragObject(false, std::nullopt)};
  const std::int32_t counts[] = {1, 3, 1, 0}, filesAsked[] = {0, 1, 0, 1};
  for (int i = 0; i < 4; ++i) {
    CDragContainer* container = new CDragContainer(&objects[i]);
    EXPECT_EQ(container->getCount(), counts[i]);
    EXPECT_EQ(container->getPlatformDrag(), &objects[i]);
    EXPECT_EQ(objects[i].textAsked(), 1);  // text is asked first, the files only without it
    EXPECT_EQ(objects[i].filesAsked(), filesAsked[i]);
    container->forget();
  }
}

TEST(DropTarget, ReferenceCountsAndInterfaces) {
  auto* target = new CDropTarget(nullptr);
  EXPECT_EQ(target->getReferenceCount(), 0);
  void* got = nullptr;
  EXPECT_EQ(target->queryInterface(platform::kUnknownInterface, &got), platform::kResultOk);
  EXPECT_EQ(got, static_cast<platform::DropTargetHandler*>(target));
  EXPECT_EQ(target->getReferenceCount(), 1);
  EXPECT_EQ(target->queryInterface(platform::kDropTargetInterface, &got), platform::kResultOk);
  platform::InterfaceId other = platform::kDropTargetInterface;
  other.data4[7] = 0x47;  // differs in the last byte only
  got = target;
  EXPECT_EQ(target->queryInterface(other, &got), platform::kResultNoInterface);
  EXPECT_EQ(got, nullptr);
  EXPECT_EQ(target->getReferenceCount(), 2);
  EXPECT_EQ(target->release(), 1u);
  EXPECT_EQ(target->release(), 0u);  // destroyed here; the sanitizer build would see a leak or a second free
}

TEST_F(DragDropTest, ViewsSeeEnterMoveLeaveAndDropInOrder) {
  DragObject files = DragObject::ofFiles(3);
  {
    DragSession drag(&files);
    drag.moveTo({90, 210});  // outside the frame's window
    EXPECT_EQ(drag.target(), nullptr);
    drag.moveTo({105, 210}, {0, 0});  // the views get the cursor, not the point the event carries
    EXPECT_EQ(drag.effect(), platform::kDropEffectMove);
    ASSERT_NE(getCurrentDragContainer(), nullptr);
    EXPECT_EQ(getCurrentDragContainer()->getNbReference(), 1);
    drag.moveTo({110, 212}, {999, -5});
    drag.moveTo({140, 212});
    drag.moveTo({170, 212});  // past the right edge: the window is left
    EXPECT_EQ(getCurrentDragContainer(), nullptr);
    EXPECT_EQ(drag.effect(), platform::kDropEffectNone);
  }
  EXPECT_EQ(log, (std::vector<std::string>{"L enter 5,10 3", "L move 10,12 3", "L leave 40,12 3",
                                           "R enter 40,12 3", "R leave 70,12 3"}));

  log.clear();
  DragObject text = DragObject::ofText();
  DragSession drag(&text);
  drag.moveTo({135, 220});
  drag.drop({-40, 77});
  EXPECT_TRUE(drag.finished());
  EXPECT_EQ(log, (std::vector<std::string>{"R enter 35,20 1", "R drop 35,20 1", "R leave 35,20 1"}));
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  // After the drop no container is current: a stray leave or second drop reaches no view.
  std::uint32_t effect = platform::kDropEffectCopy;
  EXPECT_EQ(target()->dragLeave(), platform::kResultOk);
  EXPECT_EQ(target()->drop(&text, 0, {135, 220}, effect), platform::kResultOk);
  EXPECT_EQ(target()->dragOver(0, {135, 220}, effect), platform::kResultOk);
  EXPECT_EQ(effect, platform::kDropEffectCopy);  // left as the source passed it
  DragSession none(nullptr);                     // a source without a data object: nothing is tracked
  none.moveTo({105, 210});
  EXPECT_EQ(none.effect(), platform::kDropEffectNone);
  none.drop();
  EXPECT_EQ(log.size(), 3u);
}

// Where each window's events are queued apart, a drag may enter a second editor before it leaves
// the first: the enter releases the first drag, and the first window's late leave is no longer its.
TEST_F(DragDropTest, AnEnterElsewhereReleasesTheEarlierDragWhoseLateLeaveTouchesNothing) {
  left->keep = true;
  Window otherHost{{600, 200, 60, 40}};
  CFrame* other = new CFrame(CRect(0, 0, 60, 40), otherHost.handle(), nullptr);
  other->addView(new DragProbe(CRect(0, 0, 60, 40), log, "B"));
  platform::DropTargetHandler* second = platform::headless::dropTargetOf(other->getWindowHandle());
  DragObject first = DragObject::ofFiles(4), text = DragObject::ofText();
  std::uint32_t effect = 0;
  platform::headless::setCursorPosition({105, 210});
  target()->dragEnter(&first, 0, {}, effect);
  CDragContainer* earlier = left->kept;
  ASSERT_EQ(earlier, getCurrentDragContainer());
  EXPECT_EQ(earlier->getNbReference(), 2);  // the view remembered it
  platform::headless::setCursorPosition({605, 210});
  second->dragEnter(&text, 0, {}, effect);
  EXPECT_EQ(earlier->getNbReference(), 1);  // only the view's own reference is left
  effect = platform::kDropEffectCopy;
  target()->dragLeave();  // late, as is a move after it: neither touches the drag
  target()->dragOver(0, {}, effect);
  EXPECT_EQ(effect, platform::kDropEffectCopy);
  second->dragOver(0, {}, effect);
  second->drop(&text, 0, {}, effect);
  EXPECT_EQ(log, (std::vector<std::string>{"L enter 5,10 4", "L leave 505,10 4", "B enter 5,10 1",
                                           "B move 5,10 1", "B drop 5,10 1", "B leave 5,10 1"}));
  earlier->forget();
  other->forget();
}

TEST_F(DragDropTest, DropActiveFlagDecidesWhetherTheWindowTakesDrags) {
  ASSERT_TRUE(frame->setDropActive(false));
  DragObject text = DragObject::ofText();
  DragSession refused(&text);
  refused.moveTo({105, 210});
  EXPECT_TRUE(log.empty());
  EXPECT_TRUE(frame->setDropActive(true));
  DragSession drag(&text);
  drag.moveTo({105, 210});
  // Revoked in the middle of the drag: the current drag is released with it, and the source's
  // later leave reaches the old target but no view.
  EXPECT_TRUE(frame->setDropActive(false));
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  drag.cancel();
  EXPECT_EQ(log, (std::vector<std::string>{"L enter 5,10 1"}));
}

TEST_F(DragDropTest, FrameOrWindowGoneMidDragLeavesNothingBehind) {
  DragObject files = DragObject::ofFiles(3);
  DragSession drag(&files);
  drag.moveTo({105, 210});
  ASSERT_NE(getCurrentDragContainer(), nullptr);
  frame->forget();
  frame = nullptr;
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  drag.moveTo({106, 210});  // the window is gone: the source leaves the target it still holds
  EXPECT_EQ(drag.target(), nullptr);

  // The host's window closes around an open frame during a drag.
  auto* outer = new Window({0, 0, 500, 500});
  frame = new CFrame(CRect(0, 0, 60, 40), outer->handle(), nullptr);
  DragSession second(&files);
  second.moveTo({10, 10});
  ASSERT_NE(getCurrentDragContainer(), nullptr);
  delete outer;
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  EXPECT_FALSE(frame->isDropActive());
  second.drop();
}

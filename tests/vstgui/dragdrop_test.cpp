#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/headless/dragsource.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "probe_view.h"
#include "vstgui/cdragcontainer.h"
#include "vstgui/cdroptarget.h"
#include "vstgui/cframe.h"
#include "vstgui/cview.h"

using namespace VSTGUI;
using platform::Point;
using platform::headless::DragObject;
using platform::headless::DragSession;
using platform::headless::Window;
using probe::DragProbe;

namespace {

class DragDropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::headless::resetInput();
    platform::headless::resetWindowSystem();
    // Frame window at screen (100, 200), 60 x 40; left view 0..29, right view 30..59 (edges inclusive).
    frame = new CFrame(CRect(0, 0, 60, 40), host.handle(), nullptr);
    left = new DragProbe(CRect(0, 0, 29, 40), log, "L");
    right = new DragProbe(CRect(30, 0, 60, 40), log, "R");
    frame->addView(left);
    frame->addView(right);
  }
  void TearDown() override {
    if (frame) frame->forget();
    EXPECT_EQ(getCurrentDragContainer(), nullptr);
  }
  platform::DropTargetHandler* target() { return platform::headless::dropTargetOf(frame->getWindowHandle()); }

  Window host{{100, 200, 400, 400}};
  CFrame* frame = nullptr;
  DragProbe* left = nullptr;
  DragProbe* right = nullptr;
  std::vector<std::string> log;
};

}  // namespace

TEST(DragContainer, CountsTextAsOneItemElseTheFiles) {
  DragObject text = DragObject::ofText();
  DragObject files = DragObject::ofFiles(3);
  DragObject both(true, 5);
  DragObject neither(false, std::nullopt);

  CDragContainer* c = new CDragContainer(&text);
  EXPECT_EQ(c->getCount(), 1);
  EXPECT_EQ(c->getPlatformDrag(), &text);
  EXPECT_EQ(text.filesAsked(), 0);
  c->forget();
  c = new CDragContainer(&files);
  EXPECT_EQ(c->getCount(), 3);
  EXPECT_EQ(files.textAsked(), 1);  // text is asked first
  c->forget();
  c = new CDragContainer(&both);
  EXPECT_EQ(c->getCount(), 1);
  c->forget();
  c = new CDragContainer(&neither);
  EXPECT_EQ(c->getCount(), 0);
  EXPECT_EQ(neither.filesAsked(), 1);
  c->forget();
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
    drag.moveTo({105, 210});
    EXPECT_EQ(drag.effect(), platform::kDropEffectMove);
    ASSERT_NE(getCurrentDragContainer(), nullptr);
    EXPECT_EQ(getCurrentDragContainer()->getNbReference(), 1);
    drag.moveTo({110, 212});
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
  drag.drop();
  EXPECT_TRUE(drag.finished());
  EXPECT_EQ(log, (std::vector<std::string>{"R enter 35,20 1", "R drop 35,20 1", "R leave 35,20 1"}));
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  // After the drop no container is current: a stray leave or second drop reaches no view.
  std::uint32_t effect = platform::kDropEffectCopy;
  EXPECT_EQ(target()->dragLeave(), platform::kResultOk);
  EXPECT_EQ(target()->drop(&text, 0, {135, 220}, effect), platform::kResultOk);
  EXPECT_EQ(target()->dragOver(0, {135, 220}, effect), platform::kResultOk);
  EXPECT_EQ(effect, platform::kDropEffectCopy);  // left as the source passed it
  EXPECT_EQ(log.size(), 3u);
}

TEST_F(DragDropTest, PointComesFromTheCursorNotFromTheEvent) {
  DragObject text = DragObject::ofText();
  DragSession drag(&text);
  drag.moveTo({112, 203}, {0, 0});
  drag.moveTo({115, 230}, {999, -5});
  drag.drop({-40, 77});
  EXPECT_EQ(log, (std::vector<std::string>{"L enter 12,3 1", "L move 15,30 1", "L drop 15,30 1",
                                           "L leave 15,30 1"}));

  // Called directly with a point far off, the target still reads the cursor.
  log.clear();
  platform::headless::setCursorPosition({150, 239});
  std::uint32_t effect = 0;
  target()->dragEnter(&text, 0, {1, 1}, effect);
  target()->dragLeave();
  EXPECT_EQ(log, (std::vector<std::string>{"R enter 50,39 1", "R leave 50,39 1"}));
}

TEST_F(DragDropTest, WithoutADataObjectNothingIsTracked) {
  DragSession drag(nullptr);
  drag.moveTo({105, 210});
  EXPECT_EQ(drag.effect(), platform::kDropEffectNone);
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  drag.moveTo({106, 210});
  drag.drop();
  EXPECT_TRUE(log.empty());
}

TEST_F(DragDropTest, ContainerLivesAsLongAsAViewRemembersIt) {
  left->keep = true;
  DragObject files = DragObject::ofFiles(2);
  {
    DragSession drag(&files);
    drag.moveTo({105, 210});
    ASSERT_EQ(left->kept, getCurrentDragContainer());
    EXPECT_EQ(left->kept->getNbReference(), 2);
  }  // the session ends over the window: a leave
  EXPECT_EQ(getCurrentDragContainer(), nullptr);
  ASSERT_NE(left->kept, nullptr);
  EXPECT_EQ(left->kept->getNbReference(), 1);
  EXPECT_EQ(left->kept->getCount(), 2);
  left->kept->forget();
}

TEST_F(DragDropTest, EnteringWhileAnEarlierDragIsCurrentReleasesTheEarlier) {
  left->keep = true;
  DragObject first = DragObject::ofFiles(4);
  DragObject second = DragObject::ofText();
  std::uint32_t effect = 0;
  platform::headless::setCursorPosition({105, 210});
  target()->dragEnter(&first, 0, {}, effect);  // and no leave ever comes
  CDragContainer* earlier = left->kept;
  ASSERT_NE(earlier, nullptr);
  target()->dragEnter(&second, 0, {}, effect);
  EXPECT_EQ(earlier->getNbReference(), 1);  // only the view's own reference is left
  ASSERT_NE(getCurrentDragContainer(), nullptr);
  EXPECT_EQ(getCurrentDragContainer()->getCount(), 1);
  target()->drop(&second, 0, {}, effect);
  EXPECT_EQ(log, (std::vector<std::string>{"L enter 5,10 4", "L leave 5,10 4", "L enter 5,10 1",
                                           "L drop 5,10 1", "L leave 5,10 1"}));
  earlier->forget();
}

TEST_F(DragDropTest, DropActiveFlagDecidesWhetherTheWindowTakesDrags) {
  EXPECT_TRUE(frame->isDropActive());
  EXPECT_TRUE(frame->setDropActive(false));
  EXPECT_FALSE(frame->isDropActive());
  DragObject text = DragObject::ofText();
  {
    DragSession drag(&text);
    drag.moveTo({105, 210});
    EXPECT_EQ(drag.target(), nullptr);
    drag.drop();
  }
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

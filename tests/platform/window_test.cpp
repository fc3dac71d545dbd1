#include "platform/headless/window.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/headless/input.h"

using platform::Key;
using platform::Message;
using platform::MessageType;
using platform::headless::Window;

namespace {

std::vector<MessageType> gReceived;

long recordingProcedure(platform::WindowHandle window, const Message& message) {
  gReceived.push_back(message.type);
  return platform::defaultWindowProcedure(window, message);
}

class WindowSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    gReceived.clear();
    platform::headless::resetWindowSystem();
    platform::headless::resetInput();
    ASSERT_TRUE(platform::registerWindowClass("Probe", nullptr, recordingProcedure));
  }
  void TearDown() override { platform::unregisterWindowClass("Probe", nullptr); }
};

}  // namespace

TEST_F(WindowSystem, ChildWindowsSitAtTheParentsClientOriginAndResizeInPlace) {
  EXPECT_FALSE(platform::registerWindowClass("Probe", nullptr, recordingProcedure));  // once only
  EXPECT_EQ(platform::createChildWindow("Unknown", "Window", nullptr, 10, 10), nullptr);

  Window top({10, 20, 410, 320}, nullptr, "TopLevel", true);
  top.setClientInset({4, 24});
  platform::WindowHandle child = platform::createChildWindow("Probe", "Window", top.handle(), 100, 50);
  ASSERT_NE(child, nullptr);
  EXPECT_EQ(platform::windowScreenRect(child), (platform::Rect{14, 44, 114, 94}));
  EXPECT_EQ(platform::windowParent(child), top.handle());
  EXPECT_EQ(platform::windowClassName(child), "Probe");
  EXPECT_FALSE(platform::windowHasCaption(child));
  EXPECT_TRUE(platform::windowHasCaption(top.handle()));
  EXPECT_EQ(platform::screenToClient(top.handle(), {14, 44}), (platform::Point{0, 0}));

  platform::resizeWindow(child, 30, 40);
  EXPECT_EQ(platform::windowScreenRect(child), (platform::Rect{14, 44, 44, 84}));
  EXPECT_EQ(Window::fromHandle(child)->pixels().width(), 30);

  int owner = 0;
  platform::setWindowUserData(child, &owner);
  EXPECT_EQ(platform::windowUserData(child), &owner);
  platform::destroyWindow(child);
  EXPECT_EQ(gReceived, std::vector<MessageType>{MessageType::destroy});
  EXPECT_TRUE(top.children().empty());
}

TEST_F(WindowSystem, DamageBecomesOnePaintWithTheUnitedRectangle) {
  Window host({0, 0, 200, 200});
  platform::WindowHandle child = platform::createChildWindow("Probe", "Window", host.handle(), 100, 100);
  // A window that appears asks for a paint of all of it.
  platform::Rect damaged;
  ASSERT_TRUE(platform::windowUpdateRect(child, damaged));
  EXPECT_EQ(damaged, (platform::Rect{0, 0, 100, 100}));
  EXPECT_EQ(platform::headless::dispatchMessages(), 1);
  gReceived.clear();

  platform::invalidateWindow(child, {10, 10, 20, 20});
  platform::invalidateWindow(child, {50, 5, 60, 15});
  platform::invalidateWindow(child, {150, 150, 160, 160});  // outside: no damage
  ASSERT_TRUE(platform::windowUpdateRect(child, damaged));
  EXPECT_EQ(damaged, (platform::Rect{10, 5, 60, 20}));
  EXPECT_TRUE(platform::dispatchPendingPaint());
  EXPECT_FALSE(platform::dispatchPendingPaint());  // the default handling repaired it
  EXPECT_EQ(gReceived, std::vector<MessageType>{MessageType::paint});
  EXPECT_FALSE(platform::windowUpdateRect(child, damaged));

  // Posted presses come before waiting paints; destroying the parent destroys the child.
  platform::invalidateWindow(child, {0, 0, 5, 5});
  platform::headless::postMessage(child, {MessageType::leftButtonDown, {3, 4}, 0});
  gReceived.clear();
  EXPECT_EQ(platform::headless::dispatchMessages(), 2);
  EXPECT_EQ(gReceived, (std::vector<MessageType>{MessageType::leftButtonDown, MessageType::paint}));
}

TEST(InputScript, AGestureUnfoldsOverSuccessivePollsAndTheClockMovesOnlyWhenTold) {
  using platform::headless::InputScript;
  platform::headless::resetInput();
  InputScript()
      .press(Key::leftButton, {60, 150})
      .moveTo({60, 100}, 2)
      .press(Key::shift)
      .release(Key::leftButton)
      .play();
  EXPECT_TRUE(platform::isKeyDown(Key::leftButton));  // the first step applies at once
  EXPECT_EQ(platform::headless::scriptStepsLeft(), 4);
  EXPECT_EQ(platform::cursorPosition(), (platform::Point{60, 125}));
  EXPECT_EQ(platform::cursorPosition(), (platform::Point{60, 100}));
  EXPECT_FALSE(platform::isKeyDown(Key::shift));
  EXPECT_EQ(platform::cursorPosition(), (platform::Point{60, 100}));
  EXPECT_TRUE(platform::isKeyDown(Key::shift));
  EXPECT_TRUE(platform::isKeyDown(Key::leftButton));
  platform::cursorPosition();
  EXPECT_FALSE(platform::isKeyDown(Key::leftButton));
  EXPECT_TRUE(platform::isKeyDown(Key::shift));
  platform::cursorPosition();  // the last step stays
  EXPECT_EQ(platform::headless::scriptStepsLeft(), 0);
  EXPECT_FALSE(platform::isKeyDown(Key::leftButton));

  // The manual clock moves only when asked to, and sleeping moves it, past the wrap too.
  platform::headless::resetInput();
  EXPECT_EQ(platform::tickCount(), 0u);
  platform::sleep(25);
  platform::headless::advanceClock(5);
  EXPECT_EQ(platform::tickCount(), 30u);
  platform::headless::setClock(0xFFFFFFFEu);
  platform::sleep(4);
  EXPECT_EQ(platform::tickCount(), 2u);
  platform::headless::resetInput();
}

namespace {
struct Seen {
  MessageType type;
  platform::KeySet keys;
  bool leftHeldNow;
  bool operator==(const Seen&) const = default;
};
std::vector<Seen> gSeen;
long keysProcedure(platform::WindowHandle window, const Message& message) {
  gSeen.push_back({message.type, message.keys, platform::isKeyDown(Key::leftButton)});
  return platform::defaultWindowProcedure(window, message);
}
}  // namespace

TEST_F(WindowSystem, APressWaitsForItsWindowsEventsAndKeepsTheKeysHeldAtIt) {
  using platform::keyBit;
  ASSERT_TRUE(platform::registerWindowClass("Keys", nullptr, keysProcedure));
  Window host({0, 0, 50, 50});
  platform::WindowHandle child = platform::createChildWindow("Keys", "Window", host.handle(), 50, 50);
  platform::WindowHandle other = platform::createChildWindow("Keys", "Window", host.handle(), 50, 50);
  platform::headless::dispatchMessages();  // their first paints
  gSeen.clear();

  // A Control-click, let go before anything reads the window's events.
  platform::headless::setKeyDown(Key::control, true);
  platform::headless::postMessage(child, {MessageType::leftButtonDown, {5, 5}, 0});
  platform::headless::setKeyDown(Key::control, false);
  platform::headless::postMessage(other, {MessageType::rightButtonDown, {5, 5}, 0});
  platform::invalidateWindow(child, {0, 0, 5, 5});

  platform::dispatchWindowEvents(child);
  const platform::KeySet controlClick = keyBit(Key::leftButton) | keyBit(Key::control);
  EXPECT_EQ(gSeen, (std::vector<Seen>{{MessageType::leftButtonDown, controlClick, false},
                                      {MessageType::paint, 0, false}}))
      << "only this window's events, the press with what was held at it, then its damage";

  // With swapped buttons the logical left press is the physical right button.
  platform::headless::setButtonsSwapped(true);
  gSeen.clear();
  platform::headless::sendMessage(child, {MessageType::leftButtonDown, {5, 5}, 0});
  EXPECT_EQ(gSeen, (std::vector<Seen>{{MessageType::leftButtonDown, keyBit(Key::rightButton), false}}));
  platform::destroyWindow(child);
  platform::destroyWindow(other);  // its press goes with it
  platform::unregisterWindowClass("Keys", nullptr);
}

TEST_F(WindowSystem, EveryChildGoesWithItsParent) {
  auto host = std::make_unique<Window>(platform::Rect{0, 0, 200, 200});
  platform::WindowHandle made = platform::createChildWindow("Probe", "Window", host->handle(), 50, 50);
  platform::invalidateWindow(made, {0, 0, 5, 5});
  Window first({0, 0, 10, 10}, host.get());
  Window second({0, 0, 10, 10}, host.get());
  ASSERT_EQ(host->children().size(), 3u);
  gReceived.clear();
  host.reset();
  // Each child heard of it and none keeps its parent (a sanitizer build catches a dangling one).
  EXPECT_EQ(first.parent(), nullptr);
  EXPECT_EQ(second.parent(), nullptr);
  EXPECT_EQ(gReceived, std::vector<MessageType>{MessageType::destroy});
  EXPECT_FALSE(platform::headless::isWindow(made));
  EXPECT_FALSE(platform::dispatchPendingPaint());  // its queued paint went with it
}

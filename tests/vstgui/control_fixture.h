// An open editor in a headless host window, as the controls meet it in the plug-in: presses and
// wheel turns arrive as window messages, drags come from scripted input, and edit gestures travel
// through the frame and the editor base to a recording host.
#pragma once

#include <gtest/gtest.h>

#include <vector>

#include "../support/recording_host.h"
#include "editor/aeffguieditor.h"
#include "host/audioeffectx.h"
#include "platform/headless/input.h"
#include "platform/headless/window.h"
#include "vstgui/ccontrol.h"
#include "vstgui/cframe.h"

namespace fixture {

using namespace VSTGUI;
using platform::Key;
using platform::MessageType;
using platform::headless::InputScript;

class FixtureEffect : public AudioEffectX {
 public:
  FixtureEffect() : AudioEffectX(RecordingHost::callback, 1, 2) {}
  void processReplacing(float**, float**, VstInt32) override {}
  VstIntPtr dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return getAeffect()->dispatcher(getAeffect(), opcode, index, value, ptr, 0.0f);
  }
};

class CountingFrame : public CFrame {
 public:
  using CFrame::CFrame;
  void idle() override {
    ++idles;
    CFrame::idle();
  }
  int idles = 0;
};

// Stands in for the plug-in's own editor: a frame over the whole rectangle while open.

class FixtureEditor : public AEffGUIEditor {
 public:
  FixtureEditor(AudioEffect* effect, int width, int height) : AEffGUIEditor(effect) {
    rect.right = static_cast<VstInt16>(width);
    rect.bottom = static_cast<VstInt16>(height);
  }
  bool open(void* window) override {
    AEffGUIEditor::open(window);
    frame = new CountingFrame(CRect(0, 0, rect.right, rect.bottom), window, this);
    return true;
  }
  void close() override {
    if (frame) frame->forget();
    frame = nullptr;
    AEffGUIEditor::close();
  }
  void doIdleStuff() override {
    ++idleStuffCalls;
    AEffGUIEditor::doIdleStuff();
  }
  CountingFrame* counting() const { return static_cast<CountingFrame*>(frame); }
  std::uint32_t nextIdle() const { return nextIdleTime; }
  int idleStuffCalls = 0;
};

class RecordingListener : public CControlListener {
 public:
  void valueChanged(CDrawContext* context, CControl* control) override {
    values.push_back(control->getValue());
    tags.push_back(control->getTag());
    withContext.push_back(context != nullptr);
  }
  std::int32_t modifierClicked(CDrawContext*, CControl*, std::int32_t buttons) override {
    modifierButtons.push_back(buttons);
    return modifierAnswer;
  }
  std::vector<float> values;
  std::vector<std::int32_t> tags;
  std::vector<bool> withContext;
  std::vector<std::int32_t> modifierButtons;
  std::int32_t modifierAnswer = 0;
};

class ControlFixture : public ::testing::Test {
 protected:
  static constexpr int kScreenX = 100;  // where the frame's window lies on the screen
  static constexpr int kScreenY = 200;

  void SetUp() override {
    platform::headless::resetInput();
    platform::headless::resetWindowSystem();
    platform::headless::setClock(1000);
    effect = new FixtureEffect;
    editor = new FixtureEditor(effect, 328, 264);
    editor->open(hostWindow.handle());
    frame = editor->getFrame();
    platform::headless::dispatchMessages();  // the new window's first paint, as a host's loop delivers it
  }
  void TearDown() override {
    editor->close();
    delete effect;  // and the editor with it
    AEffGUIEditor::knobMode = 0;
    EXPECT_EQ(platform::headless::oleDepth(), 0);
  }

  template <class View>
  View* add(View* view) {
    frame->addView(view);
    return view;
  }
  static platform::Point screen(int x, int y) { return {kScreenX + x, kScreenY + y}; }
  // A press of the left button at a frame point that is released at once, with whatever
  // modifiers are held at the moment.
  void click(int x, int y) {
    InputScript().press(Key::leftButton, screen(x, y)).release(Key::leftButton).play();
    deliver(MessageType::leftButtonDown, x, y);
    released();
  }
  // A receiver that does not poll never reaches a script's release step; the user did let go.
  static void released() {
    platform::headless::setKeyDown(Key::leftButton, false);
    platform::headless::setKeyDown(Key::rightButton, false);
  }
  // A press whose motion and release a script already describes; the script must be playing.
  void deliver(MessageType type, int x, int y) {
    platform::headless::postMessage(frame->getWindowHandle(), {type, {x, y}, 0});
    platform::headless::dispatchMessages();
  }
  void wheel(int x, int y, int notches) {
    platform::headless::postMessage(frame->getWindowHandle(),
                                    {MessageType::wheel, screen(x, y), 120 * notches});
    platform::headless::dispatchMessages();
  }
  void paintAll() {
    platform::invalidateWindow(frame->getWindowHandle(), {0, 0, 1000, 1000});
    platform::headless::dispatchMessages();
  }
  const raster::Image& window() {
    return platform::headless::Window::fromHandle(frame->getWindowHandle())->pixels();
  }
  // The host's view of the gestures: 'b' begin, 'e' end, 'a' automate, with the index.
  std::vector<std::pair<char, int>> edits() const {
    std::vector<std::pair<char, int>> out;
    for (const HostCall& call : host.calls) {
      if (call.opcode == audioMasterBeginEdit) out.push_back({'b', call.index});
      if (call.opcode == audioMasterEndEdit) out.push_back({'e', call.index});
    }
    return out;
  }

  RecordingHost host;
  platform::headless::Window hostWindow{{kScreenX, kScreenY, kScreenX + 328, kScreenY + 264}};
  FixtureEffect* effect = nullptr;
  FixtureEditor* editor = nullptr;
  CFrame* frame = nullptr;
  RecordingListener listener;
};

}  // namespace fixture

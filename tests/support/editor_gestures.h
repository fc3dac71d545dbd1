// What a person does with the shipped editor through a real window system (pointer, wheel and keys
// sent by xdotool through the X server) and what the host must hear of it: written once for every
// system that runs the editor, each of which says how its editor is served and seen.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "support/golden.h"
#include "support/recording_host.h"

namespace gestures {

struct EditorPoint {
  int x, y;
};
constexpr EditorPoint kIntervalLeft{43, 178}, kIntervalTop{93, 128}, kIntervalRight{143, 178},
    kIntervalCentre{93, 178}, kTitle{160, 50};
constexpr VstInt32 kInterval = 0;

// An editor open in a window of the test's host, at "Medium track", its host calls recorded.
class OpenEditor {
 public:
  virtual ~OpenEditor() = default;
  virtual AEffect* effect() const = 0;
  virtual RecordingHost& host() = 0;
  // A point of the editor on the screen, as xdotool takes it: "x y".
  virtual std::string onScreen(EditorPoint point) const = 0;
  // Runs xdotool with these arguments while the host serves the editor, or with `servedMeanwhile`
  // false before it does; then the host idles it. False when xdotool failed.
  virtual bool input(const std::string& arguments, bool servedMeanwhile = true) = 0;
  // What the screen shows of the editor once it has settled.
  virtual pictures::Picture shown() = 0;
  virtual pictures::Text text() const { return pictures::Text::antiAliased; }

  float interval() const { return effect()->getParameter(effect(), kInterval); }
};

inline std::vector<VstInt32> gestureOpcodes(const RecordingHost& host) {
  std::vector<VstInt32> seen;
  for (const HostCall& c : host.calls)
    if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit || c.opcode == audioMasterAutomate)
      seen.push_back(c.opcode);
  return seen;
}

inline std::vector<float> automated(const RecordingHost& host, VstInt32 index = kInterval) {
  std::vector<float> values;
  for (const HostCall& c : host.callsWith(audioMasterAutomate))
    if (c.index == index) values.push_back(c.opt);
  return values;
}

// A click on the title shows the about picture until the next click, anywhere: one on a knob only
// closes it.
inline void expectTheTitleShowsTheAboutPictureUntilTheNextClick(OpenEditor& editor) {
  editor.host().calls.clear();
  pictures::expectLooksLikeGolden(editor.shown(), "medium_track", editor.text());
  ASSERT_TRUE(editor.input("mousemove " + editor.onScreen(kTitle) + " click 1"));
  pictures::expectLooksLikeGolden(editor.shown(), "about", editor.text());
  ASSERT_TRUE(editor.input("mousemove " + editor.onScreen(kIntervalLeft) + " click 1"));  // on a knob
  pictures::expectLooksLikeGolden(editor.shown(), "medium_track", editor.text());
  EXPECT_TRUE(automated(editor.host()).empty()) << "the click that closed it turned nothing";
}

// xdotool's arguments for a drag from left of the interval knob's centre, over the top, to the
// right: clockwise in the circular mode, from 1/6 to 5/6. `onScreen` says where a point of the
// editor is on the screen.
inline std::string intervalKnobDrag(const std::function<std::string(EditorPoint)>& onScreen) {
  std::string gesture = "mousemove " + onScreen(kIntervalLeft) + " mousedown 1 sleep 0.3";
  for (int step = 1; step <= 8; ++step) {
    const EditorPoint from = step <= 4 ? kIntervalLeft : kIntervalTop;
    const EditorPoint to = step <= 4 ? kIntervalTop : kIntervalRight;
    const int k = step <= 4 ? step : step - 4;
    gesture += " mousemove " +
               onScreen({from.x + (to.x - from.x) * k / 4, from.y + (to.y - from.y) * k / 4}) + " sleep 0.12";
  }
  return gesture + " sleep 0.2 mouseup 1";
}

// That drag is reported as rising values between one begin and one end of an edit.
inline void expectAKnobDragAutomatesRisingValuesInOneGesture(OpenEditor& editor) {
  editor.host().calls.clear();
  ASSERT_TRUE(editor.input(intervalKnobDrag([&](EditorPoint p) { return editor.onScreen(p); })));

  const std::vector<VstInt32> seen = gestureOpcodes(editor.host());
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), audioMasterBeginEdit);
  EXPECT_EQ(seen.back(), audioMasterEndEdit);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), audioMasterEndEdit), 1) << "the gesture ended on release";
  for (const HostCall& call : editor.host().callsWith(audioMasterBeginEdit)) EXPECT_EQ(call.index, kInterval);
  const std::vector<float> values = automated(editor.host());
  ASSERT_GE(values.size(), 3u);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_NEAR(values.front(), 1.0f / 6.0f, 0.02f);
  EXPECT_NEAR(values.back(), 5.0f / 6.0f, 0.02f);
  EXPECT_EQ(editor.interval(), values.back());
}

// A wheel notch steps the knob under the pointer by a tenth; a Control-click puts it in the middle,
// even when Control was let go long before the host served the editor: the press remembers it, as
// a turn remembers the Shift held at it.
inline void expectWheelNotchesStepTheKnobAndAControlClickCentresIt(OpenEditor& editor) {
  editor.effect()->setParameter(editor.effect(), kInterval, 0.5f);
  ASSERT_TRUE(editor.input("mousemove " + editor.onScreen(kIntervalCentre)));  // the knob takes the value
  ASSERT_TRUE(editor.input("click 4"));                                        // one notch up
  EXPECT_NEAR(editor.interval(), 0.6f, 1e-6f);
  ASSERT_TRUE(editor.input("click 5 click 5"));
  EXPECT_NEAR(editor.interval(), 0.4f, 1e-6f);

  editor.host().calls.clear();
  ASSERT_TRUE(editor.input("keydown ctrl click 1 keyup ctrl keydown shift click 4 keyup shift", false));
  const std::vector<float> values = automated(editor.host());
  ASSERT_EQ(values.size(), 2u);
  EXPECT_EQ(values.front(), 0.5f);
  EXPECT_NEAR(values.back(), 0.51f, 1e-6f) << "then a fine step with the Shift held at the turn";
  EXPECT_EQ(editor.interval(), values.back());
  const std::vector<VstInt32> seen = gestureOpcodes(editor.host());
  EXPECT_EQ(seen.front(), audioMasterBeginEdit);
  EXPECT_EQ(seen.back(), audioMasterEndEdit);
}

}  // namespace gestures

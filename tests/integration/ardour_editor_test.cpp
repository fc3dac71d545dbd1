// Ardour's own window shows the editor: Ardour's GUI on a virtual display of the test's own, with a
// private home, loads a session whose track runs Fadecrest with the editor window left open. The
// editor's pixels, read back from the X server, are the golden picture; the interval knob is turned
// with real input, the session saved with Ctrl+S pressed over the editor (which passes on to Ardour
// the keys it does not use) and Ardour ended with Ctrl+Q, and the saved session holds the new
// interval.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "ardour_tools.h"
#include "support/editor_gestures.h"

// Last: X's macros would clash with names in the headers above.
#include "support/virtual_display.h"

namespace {

using namespace std::chrono_literals;

const std::string kArdour = "/usr/bin/ardour";
constexpr int kRate = 48000;  // the dummy engine's, so Ardour asks nothing about the session's rate
constexpr int kWidth = 328, kHeight = 264;

// What a user who started Ardour once and chose the dummy engine has: no first-run wizard, the
// engine started from the remembered state, plug-ins looked for where the module is.
void writeArdourConfiguration(const std::filesystem::path& home, const std::filesystem::path& plugins) {
  const std::filesystem::path config = home / ".config/ardour7";
  std::filesystem::create_directories(config);
  std::ofstream(config / ".a7").close();
  std::ofstream(config / "config")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Ardour>\n  <Config>\n"
      << "    <Option name=\"hide-dummy-backend\" value=\"0\"/>\n"
      << "    <Option name=\"try-autostart-engine\" value=\"1\"/>\n"
      << "    <Option name=\"plugin-path-lxvst\" value=\"" << plugins.string() << "\"/>\n"
      << "  </Config>\n  <Extra>\n    <AudioMIDISetup>\n      <EngineStates>\n"
      << "        <State backend=\"None (Dummy)\" driver=\"Normal Speed\" device=\"Silence\" "
         "input-device=\"\""
      << " output-device=\"\" sample-rate=\"" << kRate << "\" buffer-size=\"1024\" n-periods=\"0\""
      << " input-latency=\"0\" output-latency=\"0\" lm-input=\"\" lm-output=\"\" active=\"1\""
      << " use-buffered-io=\"0\" midi-option=\"1 in, 1 out, Silence\" lru=\"1\">\n"
      << "          <MIDIDevices/>\n        </State>\n      </EngineStates>\n    </AudioMIDISetup>\n"
      << "  </Extra>\n</Ardour>\n";
}

// Waits for a condition, checking every 100 ms; false when `limit` passed first.
template <typename Condition>
bool waitFor(Condition condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100ms);
  }
  return true;
}

float savedInterval(const std::filesystem::path& session) {
  std::smatch found;
  const std::string xml = contentsOf(session);
  if (!std::regex_search(xml, found, std::regex(R"re(<Controllable name="Interval" [^>]*value="([^"]*)")re")))
    return -1.0f;
  return std::stof(found[1]);
}

TEST(ArdourEditor, ShowsTheEditorInItsWindowTakesAKnobTurnAndSavesIt) {
  if (access(kArdour.c_str(), X_OK) != 0) GTEST_SKIP() << kArdour << " is not installed";
#if defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "Ardour cannot load a thread-sanitized module: the runtime must be preloaded, "
                  "and preloaded it deadlocks Ardour at exit";
#endif
  ScratchDirectory scratch;
  const std::filesystem::path plugins = moduleFolder(scratch.path()), session = scratch / "session";
  std::map<std::string, std::string> environment = ardourEnvironment(scratch.path(), plugins);
  const std::filesystem::path home = environment["HOME"];
  writeArdourConfiguration(home, plugins);
  ASSERT_NO_FATAL_FAILURE(scanAsArdourDoes(plugins / "fadecrest.so", environment));
  // Ardour scans again at start unless its index is strictly newer than the module.
  for (const auto& entry : std::filesystem::directory_iterator(home / ".cache/ardour7/vst"))
    std::filesystem::last_write_time(
        entry.path(), std::filesystem::last_write_time(FADECREST_MODULE_PATH) + std::chrono::seconds(2));

  CommandResult build = buildSession({std::to_string(kRate), "editor"}, session, environment);
  ASSERT_NE(build.out.find("session ready"), std::string::npos)
      << describe("building the session with " + kArdourLua, build);
  const std::filesystem::path sessionFile = session / "fadecrest.ardour";
  const float before = savedInterval(sessionFile);

  xtest::VirtualDisplay display;
  ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
  const std::string log = scratch / "ardour.log";
  auto ardour = display.start({kArdour, sessionFile}, environment, log);
  Window editor = 0;
  ASSERT_TRUE(waitFor([&] { return (editor = display.findByClass(display.root(), "Plugin0x")) != 0; }, 60s))
      << "Ardour showed no editor window; it said:\n"
      << contentsOf(log);

  // What the editor shows once Ardour has shown and placed its window, and where it is then.
  XWindowAttributes attributes{};
  XGetWindowAttributes(display.connection(), editor, &attributes);
  EXPECT_EQ(attributes.width, kWidth);
  EXPECT_EQ(attributes.height, kHeight);
  const xtest::Picture golden = pictures::goldenPicture("constructed");
  xtest::Picture shown;
  EXPECT_TRUE(waitFor([&] { return (shown = display.grab(editor, kWidth, kHeight)) == golden; }, 10s))
      << "the editor in Ardour is not the golden picture";
  if (!(shown == golden))
    xtest::writePng(shown, std::string(FADECREST_OUTPUT_DIR) + "/failed-ardour-editor.png");
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(display.connection(), editor, display.root(), 0, 0, &x, &y, &child);
  // Ardour's window with the editor in it, for the README.
  Window top = editor, root = 0, parent = editor;
  Window* children = nullptr;
  unsigned int count = 0;
  while (parent != display.root() &&
         XQueryTree(display.connection(), top, &root, &parent, &children, &count)) {
    if (children) XFree(children);
    if (parent != display.root()) top = parent;
  }
  XWindowAttributes outer{};
  XGetWindowAttributes(display.connection(), top, &outer);
  xtest::writePng(display.grab(top, outer.width, outer.height),
                  std::string(FADECREST_OUTPUT_DIR) + "/editor-in-ardour.png");

  // Around the interval knob from its left over the top to its right: 5/6 in the circular mode.
  const auto at = [&](gestures::EditorPoint p) {
    return std::to_string(x + p.x) + " " + std::to_string(y + p.y);
  };
  ASSERT_TRUE(display.xdotool(xtest::words(gestures::intervalKnobDrag(at) + " sleep 0.5")));

  // Keys go to the window under the pointer: the editor's, which passes on what it does not use.
  ASSERT_TRUE(display.xdotool(xtest::words("mousemove " + at({160, 120}) + " key ctrl+s")));
  EXPECT_TRUE(waitFor([&] { return std::abs(savedInterval(sessionFile) - 5.0f / 6.0f) < 0.02f; }, 20s))
      << "interval saved " << savedInterval(sessionFile) << ", was " << before;
  ASSERT_TRUE(display.xdotool({"mousemove", "20", "400", "key", "ctrl+q"}));
  // Ctrl+Q closes the editor and the effect as Ardour always does; a signal would skip both.
  // An unsaved session would have it ask first, and wait for ever.
  ASSERT_TRUE(waitFor([&] { return !ardour->running(); }, 30s)) << "Ardour did not quit";
  EXPECT_EQ(ardour->wait(), 0) << contentsOf(log);
  EXPECT_NEAR(savedInterval(sessionFile), 5.0f / 6.0f, 0.02f);
}

}  // namespace

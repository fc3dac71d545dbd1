// The shipped module's editor in a window of a host program on a virtual X display: loaded with
// dlopen, made through VSTPluginMain, opened in the host's X window, idled as a host idles it, and
// used with real input through the X server (xdotool). What it shows is read back from the server
// and compared with the golden pictures of the headless editor: the same raster draws both.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_module.h"
#include "support/recording_host.h"
#include "support/virtual_display.h"

// Last: X's macros would clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/keysym.h>

namespace {

using xtest::Picture;

// Hosts have the font libraries loaded for drawing of their own, and so has this one. Otherwise the
// module would be their only user, unloading it would take fontconfig's process-wide state with it,
// and the leak checker would count that state as lost.
const int gFontconfigVersion = FcGetVersion();

constexpr int kWidth = 328, kHeight = 264;
constexpr int kHostX = 100, kHostY = 100;
struct EditorPoint {
  int x, y;
};
constexpr EditorPoint kIntervalLeft{43, 178}, kIntervalTop{93, 128}, kIntervalRight{143, 178},
    kIntervalCentre{93, 178}, kTitle{160, 50};
constexpr VstInt32 kInterval = 0;
// The value displays, whose anti-aliased text may differ a little between font engines.
constexpr int kDisplays[2][4] = {{46, 235, 76, 249}, {187, 235, 217, 249}};
constexpr int kTextTolerance = 64;

bool inDisplay(int x, int y) {
  return std::any_of(std::begin(kDisplays), std::end(kDisplays),
                     [&](const int* d) { return x >= d[0] && y >= d[1] && x < d[2] && y < d[3]; });
}

// Every pixel as in the golden picture; inside the value displays within the text tolerance.
void expectLooksLike(const Picture& shown, const std::string& name) {
  const Picture golden = xtest::readPng(std::string(FADECREST_GOLDEN_DIR) + "/" + name + ".png");
  ASSERT_EQ(golden.width, kWidth) << name;
  ASSERT_EQ(shown.width, kWidth) << name;
  ASSERT_EQ(shown.height, kHeight) << name;
  int different = 0;
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x)
      for (int c = 0; c < 3; ++c) {
        const int delta = std::abs(shown.at(x, y)[c] - golden.at(x, y)[c]);
        if (delta > (inDisplay(x, y) ? kTextTolerance : 0) && ++different <= 3)
          ADD_FAILURE() << name << ": pixel (" << x << ", " << y << ") channel " << c << " is "
                        << int(shown.at(x, y)[c]) << ", expected " << int(golden.at(x, y)[c]);
      }
  EXPECT_EQ(different, 0) << name;
  if (different > 0)
    xtest::writePng(shown, std::string(FADECREST_OUTPUT_DIR) + "/failed-x11-" + name + ".png");
}

std::vector<VstInt32> gestureOpcodes(const RecordingHost& host) {
  std::vector<VstInt32> seen;
  for (const HostCall& c : host.calls)
    if (c.opcode == audioMasterBeginEdit || c.opcode == audioMasterEndEdit || c.opcode == audioMasterAutomate)
      seen.push_back(c.opcode);
  return seen;
}

std::vector<float> automated(const RecordingHost& host) {
  std::vector<float> values;
  for (const HostCall& c : host.callsWith(audioMasterAutomate))
    if (c.index == kInterval) values.push_back(c.opt);
  return values;
}

// A property of format 32 as longs; `type` is None when the window has no such property.
std::vector<long> property(Display* display, Window window, const char* name, Atom* type = nullptr) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 64, False, AnyPropertyType,
                     &actual, &format, &count, &after, &data);
  std::vector<long> longs;
  if (data && format == 32)
    longs.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + count);
  if (data) XFree(data);
  if (type) *type = actual;
  return longs;
}

// What the X server holds for the client that owns a window: its resources by type, or nothing
// when no client owns it.
std::map<std::string, int> resourcesOfOwner(Display* display, XID window) {
  int count = 0;
  XResClient* clients = nullptr;
  std::map<std::string, int> resources;
  XResQueryClients(display, &count, &clients);
  for (int i = 0; i < count; ++i) {
    if ((window & ~clients[i].resource_mask) != clients[i].resource_base) continue;
    int types = 0;
    XResType* held = nullptr;
    XResQueryClientResources(display, clients[i].resource_base, &types, &held);
    for (int t = 0; t < types; ++t) {
      char* name = XGetAtomName(display, held[t].resource_type);
      resources[name] = static_cast<int>(held[t].count);
      XFree(name);
    }
    XFree(held);
  }
  XFree(clients);
  return resources;
}

int clientCount(Display* display) {
  int count = 0;
  XResClient* clients = nullptr;
  XResQueryClients(display, &count, &clients);
  XFree(clients);
  return count;
}

class X11Editor : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
    ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
    host = display.makeWindow(kHostX, kHostY, kWidth, kHeight);
  }

  // A new effect at a program, its editor open in `window` and painted once.
  std::unique_ptr<Effect> openEditor(int program, Window window) {
    auto effect = std::make_unique<Effect>(module, RecordingHost::callback);
    effect->dispatch(effSetProgram, 0, program);
    effect->dispatch(effSetEditKnobMode, 0, 0);  // circular
    EXPECT_EQ(effect->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(window)), 1);
    effect->dispatch(effEditIdle);
    recorder.calls.clear();
    return effect;
  }
  // The host's idle, as long as an X program runs.
  bool xdotool(const std::vector<std::string>& arguments, Effect& effect) {
    return display.xdotool(arguments, [&] { effect.dispatch(effEditIdle); });
  }
  static std::string screen(EditorPoint p) {
    return std::to_string(kHostX + p.x) + " " + std::to_string(kHostY + p.y);
  }
  static std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> list;
    std::istringstream in(text);
    for (std::string word; in >> word;) list.push_back(word);
    return list;
  }
  // What the server shows of the editor once it has settled.
  Picture shown(Effect& effect, Window window) {
    const std::vector<Window> children = display.children(window);
    if (children.empty()) return {};
    effect.dispatch(effEditIdle);
    Picture picture = display.grab(children.front(), kWidth, kHeight);
    for (int attempt = 0; attempt < 10; ++attempt) {
      effect.dispatch(effEditIdle);
      Picture again = display.grab(children.front(), kWidth, kHeight);
      if (again == picture) break;
      picture = std::move(again);
    }
    return picture;
  }

  xtest::VirtualDisplay display;
  PluginModule module;
  RecordingHost recorder;
  Window host = 0;
};

TEST_F(X11Editor, ShowsTheGoldenPicturesInAChildWindowAndTheTitleOpensTheAboutPictureUntilTheNextClick) {
  auto effect = openEditor(3, host);
  const std::vector<Window> children = display.children(host);
  ASSERT_EQ(children.size(), 1u);
  const Window editor = children.front();
  XWindowAttributes attributes{};
  XGetWindowAttributes(display.connection(), editor, &attributes);
  EXPECT_EQ(attributes.x, 0);
  EXPECT_EQ(attributes.y, 0);
  EXPECT_EQ(attributes.width, kWidth);
  EXPECT_EQ(attributes.height, kHeight);
  EXPECT_EQ(attributes.map_state, IsViewable);
  char* name = nullptr;
  XFetchName(display.connection(), editor, &name);
  EXPECT_STREQ(name, "Window");
  XFree(name);
  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(display.connection(), editor, &hint));
  EXPECT_EQ(std::string(hint.res_class).rfind("Plugin0x", 0), 0u) << hint.res_class;
  XFree(hint.res_name);
  XFree(hint.res_class);
  EXPECT_EQ(property(display.connection(), editor, "_XEMBED_INFO"), (std::vector<long>{0, 1}));
  EXPECT_EQ(property(display.connection(), editor, "XdndAware"), (std::vector<long>{5}));
  Atom type = None;
  property(display.connection(), host, "XdndAware", &type);
  EXPECT_EQ(type, static_cast<Atom>(None)) << "nothing is put on the host's window";

  expectLooksLike(shown(*effect, host), "medium_track");
  ASSERT_TRUE(xdotool(words("mousemove " + screen(kTitle) + " click 1"), *effect));
  expectLooksLike(shown(*effect, host), "about");
  ASSERT_TRUE(xdotool(words("click 1"), *effect));
  expectLooksLike(shown(*effect, host), "medium_track");
  EXPECT_TRUE(automated(recorder).empty());
  effect->dispatch(effEditClose);
  EXPECT_TRUE(display.children(host).empty());
}

TEST_F(X11Editor, DraggingAKnobAutomatesRisingValuesInsideAnEditGesture) {
  auto effect = openEditor(3, host);
  // Left of the centre, over the top, to the right: clockwise in the knob's circular mode.
  std::string gesture = "mousemove " + screen(kIntervalLeft) + " mousedown 1 sleep 0.3";
  for (int step = 1; step <= 8; ++step) {
    const EditorPoint from = step <= 4 ? kIntervalLeft : kIntervalTop;
    const EditorPoint to = step <= 4 ? kIntervalTop : kIntervalRight;
    const int k = step <= 4 ? step : step - 4;
    gesture += " mousemove " + screen({from.x + (to.x - from.x) * k / 4, from.y + (to.y - from.y) * k / 4}) +
               " sleep 0.12";
  }
  ASSERT_TRUE(xdotool(words(gesture + " sleep 0.2 mouseup 1"), *effect));
  effect->dispatch(effEditIdle);

  const std::vector<VstInt32> seen = gestureOpcodes(recorder);
  ASSERT_GE(seen.size(), 3u);
  EXPECT_EQ(seen.front(), audioMasterBeginEdit);
  EXPECT_EQ(seen.back(), audioMasterEndEdit);
  EXPECT_EQ(std::count(seen.begin(), seen.end(), audioMasterEndEdit), 1) << "the gesture ended on release";
  const std::vector<float> values = automated(recorder);
  ASSERT_GE(values.size(), 3u);
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_NEAR(values.front(), 1.0f / 6.0f, 0.02f);
  EXPECT_NEAR(values.back(), 5.0f / 6.0f, 0.02f);
  EXPECT_EQ((*effect)->getParameter(effect->get(), kInterval), values.back());
  effect->dispatch(effEditClose);
}

TEST_F(X11Editor, WheelTurnsStepTheKnobAndAControlClickCentresIt) {
  auto effect = openEditor(3, host);
  (*effect)->setParameter(effect->get(), kInterval, 0.5f);
  ASSERT_TRUE(xdotool(words("mousemove " + screen(kIntervalCentre) + " click 4"), *effect));  // one notch up
  effect->dispatch(effEditIdle);
  EXPECT_NEAR((*effect)->getParameter(effect->get(), kInterval), 0.6f, 1e-6f);
  ASSERT_TRUE(xdotool(words("click 5 click 5"), *effect));
  effect->dispatch(effEditIdle);
  EXPECT_NEAR((*effect)->getParameter(effect->get(), kInterval), 0.4f, 1e-6f);

  // Control is let go long before the press is handled: the press itself remembers it.
  recorder.calls.clear();
  ASSERT_TRUE(display.xdotool(words("keydown ctrl click 1 keyup ctrl")));
  effect->dispatch(effEditIdle);
  EXPECT_EQ((*effect)->getParameter(effect->get(), kInterval), 0.5f);
  const std::vector<float> values = automated(recorder);
  ASSERT_FALSE(values.empty());
  EXPECT_EQ(values.back(), 0.5f);
  effect->dispatch(effEditClose);
}

// An event that the plug-in's connection took in while it waited for the server (here: for the
// opening of a second editor) is handled at the next idle pass, although the socket is empty by
// then: the window painted over by another client shows the editor again.
TEST_F(X11Editor, AnEventReadWhileWaitingForTheServerIsHandledAtTheNextIdle) {
  auto effect = openEditor(3, host);
  const Window editor = display.children(host).at(0);
  expectLooksLike(shown(*effect, host), "medium_track");
  Display* x = display.connection();
  GC gc = XCreateGC(x, editor, 0, nullptr);
  XFillRectangle(x, editor, gc, 0, 0, kWidth, kHeight);  // black, without an expose
  XFreeGC(x, gc);
  XEvent expose{};
  expose.xexpose = {Expose, 0, True, x, editor, 0, 0, kWidth, kHeight, 0};
  XSendEvent(x, editor, False, ExposureMask, &expose);
  XSync(x, False);

  const Window otherHost = display.makeWindow(500, 100, kWidth, kHeight);
  auto other = std::make_unique<Effect>(module, RecordingHost::callback);
  ASSERT_EQ(other->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(otherHost)), 1);
  effect->dispatch(effEditIdle);
  expectLooksLike(display.grab(editor, kWidth, kHeight), "medium_track");
  other->dispatch(effEditClose);
  effect->dispatch(effEditClose);
}

// Keys come to the editor's window while the pointer is over it. The host's window asks for keys,
// the window between it and the editor does not: what the editor does not use reaches the host's
// window as if the editor had never asked for keys.
TEST_F(X11Editor, ArrowKeysStepTheClickedKnobAndTheKeysItLeavesReachTheHostsWindow) {
  Display* x = display.connection();
  const Window outer = display.makeWindow(kHostX - 10, kHostY - 20, kWidth + 10, kHeight + 20);
  const Window inner = XCreateSimpleWindow(x, outer, 10, 20, kWidth, kHeight, 0, 0, 0);
  XMapWindow(x, inner);
  XSelectInput(x, outer, KeyPressMask | KeyReleaseMask);
  XSync(x, False);
  auto effect = openEditor(3, inner);
  (*effect)->setParameter(effect->get(), kInterval, 0.2f);
  auto pressesAtTheHost = [&] {
    XSync(x, False);
    std::vector<XKeyEvent> presses;
    for (XEvent event; XPending(x) > 0;) {
      XNextEvent(x, &event);
      if (event.type == KeyPress) presses.push_back(event.xkey);
    }
    return presses;
  };

  // A Control-click puts the knob in the middle and gives it the focus.
  ASSERT_TRUE(
      xdotool(words("mousemove " + screen(kIntervalCentre) + " keydown ctrl click 1 keyup ctrl"), *effect));
  effect->dispatch(effEditIdle);
  ASSERT_EQ((*effect)->getParameter(effect->get(), kInterval), 0.5f);
  pressesAtTheHost();  // the Control of the click was the host's
  // Each arrow one step, inside an edit gesture of its own.
  auto step = [&](const std::string& keys) {
    recorder.calls.clear();
    EXPECT_TRUE(xdotool(words("key " + keys), *effect));
    effect->dispatch(effEditIdle);
    EXPECT_EQ(gestureOpcodes(recorder),
              (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    const std::vector<float> values = automated(recorder);
    return values.size() == 1 ? values.front() : -1.0f;
  };
  EXPECT_NEAR(step("Up"), 0.6f, 1e-6f);
  EXPECT_NEAR(step("shift+Up"), 0.61f, 1e-6f);

  ASSERT_TRUE(xdotool(words("key ctrl+s"), *effect));
  effect->dispatch(effEditIdle);
  const std::vector<XKeyEvent> presses = pressesAtTheHost();
  std::vector<KeySym> keysyms;
  for (XKeyEvent press : presses) keysyms.push_back(XLookupKeysym(&press, 0));
  ASSERT_EQ(keysyms, (std::vector<KeySym>{XK_Shift_L, XK_Control_L, XK_s})) << "the arrows were the editor's";
  const XKeyEvent& s = presses.back();
  EXPECT_EQ(s.window, outer);
  EXPECT_EQ(s.subwindow, inner);
  EXPECT_EQ(s.x, kIntervalCentre.x + 10);
  EXPECT_EQ(s.y, kIntervalCentre.y + 20);
  EXPECT_EQ(s.x_root, kHostX + kIntervalCentre.x);
  EXPECT_TRUE(s.state & ControlMask);
  EXPECT_NEAR((*effect)->getParameter(effect->get(), kInterval), 0.61f, 1e-6f);
  effect->dispatch(effEditClose);
}

TEST_F(X11Editor, OpenCloseCyclesAndClosesWithTheEditorOpenLeaveNothingOnTheServer) {
  Display* x = display.connection();
  const int clientsBefore = clientCount(x);
  // An editor that stays open keeps the plug-in's connection, so what each cycle leaves shows.
  const Window other = display.makeWindow(500, 100, kWidth, kHeight);
  auto keeper = openEditor(5, other);
  const Window keeperWindow = display.children(other).at(0);
  auto effect = openEditor(3, host);
  effect->dispatch(effEditClose);  // the first opening makes what the connection keeps for good
  const std::map<std::string, int> before = resourcesOfOwner(x, keeperWindow);
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(clientCount(x), clientsBefore + 1) << "one connection for every editor of the process";

  for (int cycle = 0; cycle < 200; ++cycle) {
    Window parent = host;
    if (cycle % 20 == 10) parent = display.makeWindow(100, 420, kWidth, kHeight);
    ASSERT_EQ(effect->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(parent)), 1);
    (*effect)->setParameter(effect->get(), kInterval, static_cast<float>(cycle % 10) / 10.0f);
    effect->dispatch(effEditIdle);
    if (parent != host) {
      // The host destroys its window, and the editor's with it, before it closes the editor; half
      // the time the editor hears of it at an idle pass first.
      XDestroyWindow(x, parent);
      XSync(x, False);
      if (cycle % 40 == 10) effect->dispatch(effEditIdle);
    }
    effect->dispatch(effEditClose);
    ASSERT_TRUE(display.children(host).empty()) << "cycle " << cycle;
  }
  EXPECT_EQ(resourcesOfOwner(x, keeperWindow), before);

  // Hosts that close the effect with its editor open.
  for (int cycle = 0; cycle < 50; ++cycle) {
    auto closing = openEditor(cycle % 6, host);
    ASSERT_EQ(display.children(host).size(), 1u);
  }
  EXPECT_TRUE(display.children(host).empty());
  EXPECT_EQ(resourcesOfOwner(x, keeperWindow), before);
  expectLooksLike(shown(*keeper, other), "shortest");

  // The last editor takes the connection with it.
  keeper.reset();
  effect.reset();
  EXPECT_EQ(clientCount(x), clientsBefore);
}

// Servers other than the usual: one without shared memory gets the same pictures by plain
// requests; on a 16-bit screen the editor does not open rather than show wrong colours.
TEST(X11EditorElsewhere, WithoutSharedMemoryAndOnA16BitScreen) {
  PluginModule module;
  ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
  RecordingHost recorder;
  {
    xtest::VirtualDisplay plain(24, {"-extension", "MIT-SHM"});
    ASSERT_NE(plain.connection(), nullptr) << "Xvfb did not start";
    const Window host = plain.makeWindow(kHostX, kHostY, kWidth, kHeight);
    Effect effect(module, RecordingHost::callback);
    effect.dispatch(effSetProgram, 0, 5);
    ASSERT_EQ(effect.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
    effect.dispatch(effEditIdle);
    const Window editor = plain.children(host).at(0);
    Picture shown;
    for (int attempt = 0; attempt < 10 && shown.rgb.empty(); ++attempt) {
      effect.dispatch(effEditIdle);
      XSync(plain.connection(), False);
      shown = plain.grab(editor, kWidth, kHeight);
    }
    expectLooksLike(shown, "shortest");
    effect.dispatch(effEditClose);
  }
  {
    xtest::VirtualDisplay shallow(16);
    ASSERT_NE(shallow.connection(), nullptr) << "Xvfb did not start";
    const Window host = shallow.makeWindow(kHostX, kHostY, kWidth, kHeight);
    Effect effect(module, RecordingHost::callback);
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 0);
    EXPECT_TRUE(shallow.children(host).empty());
    effect.dispatch(effEditIdle);
    effect.dispatch(effEditClose);
  }
}

// A host may idle two editors from two threads of its own while it automates them from a third:
// the editors share the plug-in's one connection, and both still show what they should.
TEST(Concurrency, TwoEditorsIdledFromTwoThreadsWhileTheHostAutomates) {
  xtest::VirtualDisplay display;
  ASSERT_NE(display.connection(), nullptr) << "Xvfb did not start";
  PluginModule module;
  ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
  const Window hosts[2] = {display.makeWindow(kHostX, kHostY, kWidth, kHeight),
                           display.makeWindow(500, kHostY, kWidth, kHeight)};
  Effect effects[2] = {Effect(module), Effect(module)};
  for (int i = 0; i < 2; ++i)
    std::thread([&, i] {
      EXPECT_EQ(effects[i].dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(hosts[i])), 1);
    }).join();

  std::vector<std::thread> idlers;
  for (Effect& effect : effects)
    idlers.emplace_back([&effect] {
      for (int pass = 0; pass < 300; ++pass) effect.dispatch(effEditIdle);
    });
  for (int step = 0; step < 300; ++step)
    for (Effect& effect : effects)
      effect->setParameter(effect.get(), kInterval, static_cast<float>(step % 11) / 10.0f);
  for (std::thread& idler : idlers) idler.join();

  effects[0].dispatch(effSetProgram, 0, 3);
  effects[1].dispatch(effSetProgram, 0, 5);
  const char* golden[2] = {"medium_track", "shortest"};
  for (int i = 0; i < 2; ++i) {
    effects[i].dispatch(effEditIdle);
    const Window editor = display.children(hosts[i]).at(0);
    XSync(display.connection(), False);
    expectLooksLike(display.grab(editor, kWidth, kHeight), golden[i]);
  }
  for (Effect& effect : effects) effect.dispatch(effEditClose);
}

}  // namespace

// The shipped module's editor in a window of a host program on a virtual X display: loaded with
// dlopen, made through VSTPluginMain, opened in the host's X window, idled as a host idles it, and
// used with real input through the X server (xdotool). What it shows is read back from the server
// and compared with the golden pictures of the headless editor: the same raster draws both.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "plugin_module.h"
#include "support/editor_gestures.h"
#include "support/virtual_display.h"

// Last: X's macros would clash with names in the headers above.
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XRes.h>
#include <X11/keysym.h>

namespace {

using gestures::EditorPoint;
using gestures::kInterval;
using gestures::kIntervalCentre;
using pictures::Picture;

// Hosts have the font libraries loaded for drawing of their own, and so has this one. Otherwise the
// module would be their only user, unloading it would take fontconfig's process-wide state with it,
// and the leak checker would count that state as lost.
const int gFontconfigVersion = FcGetVersion();

constexpr int kWidth = pictures::kEditorWidth, kHeight = pictures::kEditorHeight;
constexpr int kHostX = 100, kHostY = 100;

// Every pixel as in the golden picture; a picture that differs is kept for a look.
void expectLooksLike(const Picture& shown, const std::string& name) {
  pictures::expectLooksLikeGolden(shown, name, pictures::Text::antiAliased,
                                  std::string(FADECREST_OUTPUT_DIR) + "/failed-x11-" + name + ".png");
}

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> list;
  std::istringstream in(text);
  for (std::string word; in >> word;) list.push_back(word);
  return list;
}

// The editor of an effect in a host window on the display, idled as a host idles it.
class EditorOnDisplay : public gestures::OpenEditor {
 public:
  EditorOnDisplay(const xtest::VirtualDisplay& display, Effect& effect, Window host, RecordingHost& recorder)
      : display_(display), effect_(effect), host_(host), recorder_(recorder) {}
  AEffect* effect() const override { return effect_.get(); }
  RecordingHost& host() override { return recorder_; }
  std::string onScreen(EditorPoint p) const override {
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display_.connection(), host_, display_.root(), p.x, p.y, &x, &y, &child);
    return std::to_string(x) + " " + std::to_string(y);
  }
  bool input(const std::string& arguments, bool servedMeanwhile = true) override {
    const bool ran = servedMeanwhile ? display_.xdotool(words(arguments), [&] { idle(); })
                                     : display_.xdotool(words(arguments));
    idle();
    return ran;
  }
  // Once the server shows the same twice in a row.
  Picture shown() override {
    const std::vector<Window> children = display_.children(host_);
    if (children.empty()) return {};
    idle();
    Picture picture = display_.grab(children.front(), kWidth, kHeight);
    for (int attempt = 0; attempt < 10; ++attempt) {
      idle();
      Picture again = display_.grab(children.front(), kWidth, kHeight);
      if (again == picture) break;
      picture = std::move(again);
    }
    return picture;
  }
  void idle() { effect_.dispatch(effEditIdle); }

 private:
  const xtest::VirtualDisplay& display_;
  Effect& effect_;
  Window host_;
  RecordingHost& recorder_;
};

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

// Another client paints over parts of a window (black, without an expose) and then tells it, as
// the server does when a window that covered them goes.
void paintOverAndExpose(Display* x, Window window, const std::vector<XRectangle>& painted) {
  GC gc = XCreateGC(x, window, 0, nullptr);
  int left = static_cast<int>(painted.size());
  for (const XRectangle& r : painted) {
    XFillRectangle(x, window, gc, r.x, r.y, r.width, r.height);
    XEvent expose{};
    expose.xexpose = {Expose, 0, True, x, window, r.x, r.y, r.width, r.height, --left};
    XSendEvent(x, window, False, ExposureMask, &expose);
  }
  XFreeGC(x, gc);
  XSync(x, False);
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

// The System V shared memory segments this process made that are still there.
int sharedSegmentsOfThisProcess() {
  std::ifstream table("/proc/sysvipc/shm");
  std::string line;
  std::getline(table, line);  // the column names
  int count = 0;
  for (std::string key, id, perms, size, creator; table >> key >> id >> perms >> size >> creator;) {
    count += std::stoi(creator) == getpid();
    std::getline(table, line);
  }
  return count;
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
  // The editor of `effect` in `window` as the shared gestures drive it.
  EditorOnDisplay on(Effect& effect, Window window = 0) {
    return EditorOnDisplay(display, effect, window ? window : host, recorder);
  }

  xtest::VirtualDisplay display;
  PluginModule module;
  RecordingHost recorder;
  Window host = 0;
};

// A child window of the host's at its top left, that shows the golden pictures and takes clicks,
// drags and wheel turns.
TEST_F(X11Editor, ShowsTheGoldenPicturesInAChildWindowAndTakesClicksDragsAndWheelTurns) {
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
  EXPECT_EQ(property(display.connection(), editor, "_XEMBED_INFO"), (std::vector<long>{0, 1}));
  EXPECT_EQ(property(display.connection(), editor, "XdndAware"), (std::vector<long>{5}));
  Atom type = None;
  property(display.connection(), host, "XdndAware", &type);
  EXPECT_EQ(type, static_cast<Atom>(None)) << "nothing is put on the host's window";
  EXPECT_EQ(resourcesOfOwner(display.connection(), editor)["ShmSeg"], 1) << "the picture in shared memory";

  EditorOnDisplay shown = on(*effect);
  gestures::expectTheTitleShowsTheAboutPictureUntilTheNextClick(shown);
  gestures::expectAKnobDragAutomatesRisingValuesInOneGesture(shown);
  gestures::expectWheelNotchesStepTheKnobAndAControlClickCentresIt(shown);
  effect->dispatch(effEditClose);
  EXPECT_TRUE(display.children(host).empty());
}

// Events that the plug-in's connection took in while it waited for the server (here: for the
// opening of a second editor) are handled at the next idle pass, although the socket is empty by
// then: the parts of the window painted over by another client show the editor again, each of
// the rectangles exposed.
TEST_F(X11Editor, EventsReadWhileWaitingForTheServerAreHandledAtTheNextIdle) {
  auto effect = openEditor(3, host);
  const Window editor = display.children(host).at(0);
  expectLooksLike(on(*effect).shown(), "medium_track");
  paintOverAndExpose(display.connection(), editor, {{0, 0, 100, 60}, {200, 100, 128, 80}, {40, 230, 60, 34}});

  const Window otherHost = display.makeWindow(500, 100, kWidth, kHeight);
  auto other = std::make_unique<Effect>(module, RecordingHost::callback);
  ASSERT_EQ(other->dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(otherHost)), 1);
  effect->dispatch(effEditIdle);
  expectLooksLike(display.grab(editor, kWidth, kHeight), "medium_track");
  other->dispatch(effEditClose);
  effect->dispatch(effEditClose);
}

// Keys come to the editor's window while the pointer is over it. The host's window asks for presses,
// the window between it and the editor does not: what the editor does not use reaches the host's
// window as if the editor had never asked for keys.
TEST_F(X11Editor, ArrowKeysStepTheClickedKnobAndTheKeysItLeavesReachTheHostsWindow) {
  Display* x = display.connection();
  const Window outer = display.makeWindow(kHostX - 10, kHostY - 20, kWidth + 10, kHeight + 20);
  const Window inner = XCreateSimpleWindow(x, outer, 10, 20, kWidth, kHeight, 0, 0, 0);
  XMapWindow(x, inner);
  XSelectInput(x, outer, KeyPressMask);
  XSync(x, False);
  auto effect = openEditor(3, inner);
  (*effect)->setParameter(effect->get(), kInterval, 0.2f);
  auto pressesAtTheHost = [&] {
    XSync(x, False);
    std::vector<XKeyEvent> presses;
    for (XEvent event; XPending(x) > 0;) {
      XNextEvent(x, &event);
      EXPECT_NE(event.type, KeyRelease) << "a release the host did not ask for";
      if (event.type == KeyPress) presses.push_back(event.xkey);
    }
    return presses;
  };

  // With Alt held at the press the knob follows the mouse in its other, linear mode: a click without
  // a move leaves it where it is (the circular mode would turn it to the point clicked).
  EditorOnDisplay editor = on(*effect, inner);
  ASSERT_TRUE(editor.input("mousemove " + editor.onScreen(gestures::kIntervalLeft)));
  ASSERT_TRUE(editor.input("keydown alt click 1 keyup alt", false));
  EXPECT_EQ((*effect)->getParameter(effect->get(), kInterval), 0.2f);
  // A Control-click puts the knob in the middle and gives it the focus.
  ASSERT_TRUE(
      editor.input("mousemove " + editor.onScreen(kIntervalCentre) + " keydown ctrl click 1 keyup ctrl"));
  ASSERT_EQ((*effect)->getParameter(effect->get(), kInterval), 0.5f);
  pressesAtTheHost();  // the Control of the click was the host's
  // Each arrow one step, inside an edit gesture of its own.
  auto step = [&](const std::string& keys) {
    recorder.calls.clear();
    EXPECT_TRUE(editor.input("key " + keys));
    EXPECT_EQ(gestures::gestureOpcodes(recorder),
              (std::vector<VstInt32>{audioMasterBeginEdit, audioMasterAutomate, audioMasterEndEdit}));
    const std::vector<float> values = gestures::automated(recorder);
    return values.size() == 1 ? values.front() : -1.0f;
  };
  EXPECT_NEAR(step("Up"), 0.6f, 1e-6f);
  EXPECT_NEAR(step("shift+Up"), 0.61f, 1e-6f);

  ASSERT_TRUE(editor.input("key ctrl+s"));
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
  // A window on the way that forbids keys to go further up stops them, as the server would.
  XSetWindowAttributes stop{};
  stop.do_not_propagate_mask = KeyPressMask | KeyReleaseMask;
  XChangeWindowAttributes(x, inner, CWDontPropagate, &stop);
  XSync(x, False);
  ASSERT_TRUE(editor.input("key s"));
  EXPECT_TRUE(pressesAtTheHost().empty());
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
      if (cycle % 40 == 10) {
        effect->dispatch(effEditIdle);
        EXPECT_EQ(resourcesOfOwner(x, keeperWindow), before) << "the idle pass that hears of it lets go";
      }
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
  expectLooksLike(on(*keeper, other).shown(), "shortest");

  // The last editor takes the connection with it.
  keeper.reset();
  effect.reset();
  EXPECT_EQ(clientCount(x), clientsBefore);
  EXPECT_EQ(sharedSegmentsOfThisProcess(), 0) << "the pictures' shared memory went with the editors";
}

Window windowWithAlpha(const xtest::VirtualDisplay& display) {
  Display* x = display.connection();
  XVisualInfo info{};
  if (!XMatchVisualInfo(x, DefaultScreen(x), 32, TrueColor, &info)) return 0;
  XSetWindowAttributes attributes{};
  attributes.colormap = XCreateColormap(x, display.root(), info.visual, AllocNone);
  const Window window = XCreateWindow(x, display.root(), kHostX, kHostY, kWidth, kHeight, 0, 32, InputOutput,
                                      info.visual, CWColormap | CWBorderPixel | CWBackPixel, &attributes);
  XMapWindow(x, window);
  XSync(x, False);
  return window;
}

// Servers other than the usual: one without shared memory, and one that offers it but cannot
// reach ours (as over ssh -X; here with a host window of 32 bits, whose alpha the editor fills
// opaque), get the same pictures by plain requests; on a 16-bit screen the
// editor does not open rather than show wrong colours. The host's X errors are the host's, and its
// handler is its own again after each call and once the plug-in is unloaded.
TEST(X11EditorElsewhere, WithoutSharedMemoryAndOnA16BitScreen) {
  static int hostErrors = 0;
  const XErrorHandler hostHandler = [](Display*, XErrorEvent*) { return ++hostErrors, 0; };
  XSetErrorHandler(hostHandler);
  xtest::VirtualDisplay shallow(16);
  ASSERT_NE(shallow.connection(), nullptr) << "Xvfb did not start";
  {
    PluginModule module;
    ASSERT_NE(module.entry(), nullptr) << PluginModule::loadError();
    RecordingHost recorder;
    for (const bool unreachable : {false, true}) {
      xtest::VirtualDisplay plain(
          24, unreachable ? std::vector<std::string>{} : std::vector<std::string>{"-extension", "MIT-SHM"},
          unreachable);
      ASSERT_NE(plain.connection(), nullptr) << "Xvfb did not start";
      const Window host =
          unreachable ? windowWithAlpha(plain) : plain.makeWindow(kHostX, kHostY, kWidth, kHeight);
      Effect effect(module, RecordingHost::callback);
      effect.dispatch(effSetProgram, 0, 5);
      ASSERT_EQ(effect.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 1);
      const Window editor = plain.children(host).at(0);
      // The first picture, then a small part painted over: each goes out in the idle pass that draws it.
      for (int pass = 0; pass < 2; ++pass) {
        if (pass == 1) paintOverAndExpose(plain.connection(), editor, {{46, 235, 30, 14}});
        effect.dispatch(effEditIdle);
        Picture shown;
        for (int attempt = 0; attempt < 100 && !(shown == pictures::goldenPicture("shortest")); ++attempt) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          shown = plain.grab(editor, kWidth, kHeight);
        }
        expectLooksLike(shown, "shortest");
      }
      EXPECT_EQ(resourcesOfOwner(plain.connection(), editor).count("ShmSeg"), 0u);
      if (unreachable) {
        XImage* image = XGetImage(plain.connection(), editor, 0, 0, kWidth, kHeight, AllPlanes, ZPixmap);
        EXPECT_EQ(image->depth, 32);
        EXPECT_EQ(XGetPixel(image, 200, 100) >> 24, 0xffu) << "the editor is opaque";
        XDestroyImage(image);
      }
      // Requests of the host's own fail while the editor waits for the server (held by the host) on
      // another thread, and after the host put back the handler it found meanwhile (the plug-in's):
      // each error is the host's to hear.
      Display* x = plain.connection();
      XGrabServer(x);
      XSync(x, False);
      effect->setParameter(effect.get(), 0, 0.5f);
      std::thread idler([&] { effect.dispatch(effEditIdle); });
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      XMapWindow(x, 1);  // no such window
      XSync(x, False);
      const XErrorHandler found = XSetErrorHandler(hostHandler);
      XUngrabServer(x);
      XSync(x, False);
      idler.join();
      XSetErrorHandler(found);
      effect.dispatch(effEditClose);
      XMapWindow(x, 1);
      XSync(x, False);
    }
    const Window host = shallow.makeWindow(kHostX, kHostY, kWidth, kHeight);
    Effect effect(module, RecordingHost::callback);
    EXPECT_EQ(effect.dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(host)), 0);
    EXPECT_TRUE(shallow.children(host).empty());
    effect.dispatch(effEditIdle);
    effect.dispatch(effEditClose);
    EXPECT_EQ(XSetErrorHandler(hostHandler), hostHandler);
  }
  XMapWindow(shallow.connection(), 1);  // no such window
  XSync(shallow.connection(), False);
  EXPECT_EQ(hostErrors, 5);
  XSetErrorHandler(nullptr);
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

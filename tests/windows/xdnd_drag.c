/* A drag from an X11 program, without a hand on the mouse: offers data under one type by the
 * XDND protocol to the window at a point of the screen, drops it there, and serves the data when
 * the target asks for it. The items are joined into lines ending in CR LF, as text/uri-list has
 * them; a single text/plain item is sent as it is.
 *
 *   xdnd_drag X Y TYPE ITEM...    e.g.  xdnd_drag 300 300 text/uri-list file:///a.wav file:///b.wav
 *
 * Exits 0 when the target accepted the drop and finished with it, 1 otherwise (10 s at most). */
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/select.h>
#include <time.h>

static Display* display;
static Window source;
static Atom aware, enter, position, status, drop, finished, selection, actionCopy, type;
static char* data;

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

static void sendMessage(Window target, Atom message, long l1, long l2, long l3, long l4) {
  XEvent event;
  memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.display = display;
  event.xclient.window = target;
  event.xclient.message_type = message;
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)source;
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  XSendEvent(display, target, False, NoEventMask, &event);
  XFlush(display);
}

/* The innermost window at the point that takes part in XDND, and the protocol version it speaks. */
static Window targetAt(int x, int y, long* version) {
  Window found = None, parent = DefaultRootWindow(display), child;
  int localX, localY;
  while (XTranslateCoordinates(display, DefaultRootWindow(display), parent, x, y, &localX, &localY, &child) &&
         child != None) {
    Atom actual;
    int format;
    unsigned long count, after;
    unsigned char* value = NULL;
    if (XGetWindowProperty(display, child, aware, 0, 1, False, AnyPropertyType, &actual, &format, &count,
                           &after, &value) == Success &&
        value) {
      found = child;
      *version = *(long*)value;
      XFree(value);
    }
    parent = child;
  }
  return found;
}

static void serve(const XSelectionRequestEvent* request) {
  XEvent reply;
  memset(&reply, 0, sizeof reply);
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request->requestor;
  reply.xselection.selection = request->selection;
  reply.xselection.target = request->target;
  reply.xselection.time = request->time;
  reply.xselection.property = None;
  if (request->target == type) {
    Atom property = request->property != None ? request->property : request->target;
    XChangeProperty(display, request->requestor, property, type, 8, PropModeReplace,
                    (const unsigned char*)data, (int)strlen(data));
    reply.xselection.property = property;
  }
  XSendEvent(display, request->requestor, False, NoEventMask, &reply);
  XFlush(display);
}

int main(int argc, char** argv) {
  if (argc < 5) {
    fprintf(stderr, "usage: %s X Y TYPE ITEM...\n", argv[0]);
    return 2;
  }
  const int x = atoi(argv[1]), y = atoi(argv[2]);
  size_t size = 1;
  for (int i = 4; i < argc; ++i) size += strlen(argv[i]) + 2;
  data = calloc(size, 1);
  for (int i = 4; i < argc; ++i) {
    strcat(data, argv[i]);
    if (argc > 5 || strcmp(argv[3], "text/plain") != 0) strcat(data, "\r\n");
  }
  display = XOpenDisplay(NULL);
  if (!display) return 1;
  aware = XInternAtom(display, "XdndAware", False);
  enter = XInternAtom(display, "XdndEnter", False);
  position = XInternAtom(display, "XdndPosition", False);
  status = XInternAtom(display, "XdndStatus", False);
  drop = XInternAtom(display, "XdndDrop", False);
  finished = XInternAtom(display, "XdndFinished", False);
  selection = XInternAtom(display, "XdndSelection", False);
  actionCopy = XInternAtom(display, "XdndActionCopy", False);
  type = XInternAtom(display, argv[3], False);

  source = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, selection, source, CurrentTime);
  long version = 0;
  const Window target = targetAt(x, y, &version);
  if (target == None) {
    fprintf(stderr, "xdnd_drag: no XDND window at %d, %d\n", x, y);
    return 1;
  }

  sendMessage(target, enter, (version < 5 ? version : 5L) << 24, (long)type, None, None);
  sendMessage(target, position, 0, ((long)x << 16) | y, CurrentTime, (long)actionCopy);
  int accepted = 0, dropped = 0, done = 0;
  const double deadline = now() + 10.0;
  while (!done && now() < deadline) {
    if (!XPending(display)) {
      fd_set read;
      struct timeval wait = {0, 20000};
      FD_ZERO(&read);
      FD_SET(ConnectionNumber(display), &read);
      select(ConnectionNumber(display) + 1, &read, NULL, NULL, &wait);
      continue;
    }
    XEvent event;
    XNextEvent(display, &event);
    if (event.type == SelectionRequest) {
      serve(&event.xselectionrequest);
    } else if (event.type == ClientMessage && event.xclient.message_type == status && !dropped) {
      accepted = (event.xclient.data.l[1] & 1) != 0;
      if (!accepted) break;
      sendMessage(target, drop, 0, CurrentTime, None, None);
      dropped = 1;
    } else if (event.type == ClientMessage && event.xclient.message_type == finished) {
      done = 1;
    }
  }
  XCloseDisplay(display);
  return accepted && done ? 0 : 1;
}

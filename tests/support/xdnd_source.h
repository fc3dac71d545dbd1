/* A drag source that speaks XDND by hand: it sends each message itself, naming any source window,
 * serves the data when asked, and checks every field of the target's replies. Plain C, for C too. */
#pragma once

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <string.h>

typedef struct XdndSource {
  Display* display;
  Window window; /* owns XdndSelection and receives the replies */
  Atom aware, enter, position, status, leave, drop, finished, selection, typeList, actionCopy;
} XdndSource;

static inline void xdndOpen(XdndSource* s, Display* display) {
  const char* names[] = {"XdndAware", "XdndEnter",    "XdndPosition",  "XdndStatus",   "XdndLeave",
                         "XdndDrop",  "XdndFinished", "XdndSelection", "XdndTypeList", "XdndActionCopy"};
  Atom* atoms[] = {&s->aware, &s->enter,    &s->position,  &s->status,   &s->leave,
                   &s->drop,  &s->finished, &s->selection, &s->typeList, &s->actionCopy};
  for (int i = 0; i < 10; ++i) *atoms[i] = XInternAtom(display, names[i], False);
  s->display = display;
  s->window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(display, s->selection, s->window, CurrentTime);
}

static inline void xdndSend(const XdndSource* s, Window target, Atom message, Window from, long l1, long l2,
                            long l3, long l4) {
  XEvent event;
  memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = target;
  event.xclient.message_type = message;
  event.xclient.format = 32;
  event.xclient.data.l[0] = (long)from;
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  XSendEvent(s->display, target, False, NoEventMask, &event);
  XFlush(s->display);
}

/* The first three types go in the enter message, all of them in XdndTypeList when there are more. */
static inline void xdndEnter(const XdndSource* s, Window target, long version, const Atom* types, int count) {
  if (count > 3)
    XChangeProperty(s->display, s->window, s->typeList, XA_ATOM, 32, PropModeReplace,
                    (const unsigned char*)types, count);
  xdndSend(s, target, s->enter, s->window, version << 24 | (count > 3), (long)types[0],
           count > 1 ? (long)types[1] : None, count > 2 ? (long)types[2] : None);
}

/* The innermost window at a point of the screen that takes part in XDND, and its version. */
static inline Window xdndTargetAt(const XdndSource* s, int x, int y, long* version) {
  Window found = None, parent = DefaultRootWindow(s->display), child = None;
  Atom actual;
  int localX, localY, format;
  unsigned long count, after;
  unsigned char* value = NULL;
  while (XTranslateCoordinates(s->display, DefaultRootWindow(s->display), parent, x, y, &localX, &localY,
                               &child) &&
         child != None) {
    if (XGetWindowProperty(s->display, child, s->aware, 0, 1, False, AnyPropertyType, &actual, &format,
                           &count, &after, &value) == Success &&
        value) {
      found = child;
      *version = *(long*)value;
      XFree(value);
    }
    parent = child;
  }
  return found;
}

/* Answers a request for the drag's data: `data` when the target asks for `type`, else a refusal. */
static inline void xdndServe(const XdndSource* s, const XSelectionRequestEvent* request, Atom type,
                             const char* data) {
  XEvent reply;
  memset(&reply, 0, sizeof reply);
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request->requestor;
  reply.xselection.selection = request->selection;
  reply.xselection.target = request->target;
  reply.xselection.time = request->time;
  if (request->target == type) {
    reply.xselection.property = request->property != None ? request->property : request->target;
    XChangeProperty(s->display, request->requestor, reply.xselection.property, type, 8, PropModeReplace,
                    (const unsigned char*)data, (int)strlen(data));
  }
  XSendEvent(s->display, request->requestor, False, NoEventMask, &reply);
  XFlush(s->display);
}

/* What is wrong with a reply of `target` (of the `kind` XdndStatus or XdndFinished), by the protocol
 * or against whether it should accept and with which action (None: any); NULL when nothing is. */
static inline const char* xdndCheckReply(const XdndSource* s, const XClientMessageEvent* reply, Atom kind,
                                         Window target, int accepted, Atom action) {
  const long* l = reply->data.l;
  const Atom performed = (Atom)(kind == s->status ? l[4] : l[2]);
  if (reply->message_type != kind || reply->format != 32) return "not the reply expected";
  if ((Window)l[0] != target) return "names another window than the target";
  if ((l[1] & 1) != accepted) return accepted ? "refuses" : "accepts";
  if (accepted ? performed == None || (action != None && performed != action) : performed != None)
    return "wrong action";
  if (l[1] & (kind == s->status ? ~3L : ~1L)) return "reserved bits set";
  /* Without bit 1 no position comes inside the rectangle: the target wants every move. */
  if (kind == s->status && !(l[1] & 2) && l[3] != 0) return "asks for no positions";
  return NULL;
}

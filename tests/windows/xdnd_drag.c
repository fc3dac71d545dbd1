/* A drag from an X11 program, without a hand on the mouse: offers data under one type by XDND to
 * the window at a point of the screen, drops it there, and serves the data when the target asks.
 * The items are joined into lines ending in CR LF, as text/uri-list has them; a single text/plain
 * item is sent as it is.
 *   xdnd_drag X Y TYPE ITEM...    e.g.  xdnd_drag 300 300 text/uri-list file:///a.wav file:///b.wav
 * Exits 0 when the target accepted the drop and finished with it, each reply as the protocol has
 * it; 1 otherwise, saying why (after 10 s without an answer at the most). */
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>

#include "../support/xdnd_source.h"

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const int x = atoi(argv[1]), y = atoi(argv[2]);
  char data[4096] = "";
  for (int i = 4; i < argc; ++i)
    snprintf(data + strlen(data), sizeof data - strlen(data), "%s%s", argv[i],
             argc > 5 || strcmp(argv[3], "text/plain") != 0 ? "\r\n" : "");
  Display* display = XOpenDisplay(NULL);
  if (!display) return 1;
  XdndSource source;
  xdndOpen(&source, display);
  const Atom type = XInternAtom(display, argv[3], False);
  long version = 0;
  const Window target = xdndTargetAt(&source, x, y, &version);
  if (target == None) {
    fprintf(stderr, "xdnd_drag: no XDND window at %d, %d\n", x, y);
    return 1;
  }

  xdndEnter(&source, target, version < 5 ? version : 5, &type, 1);
  xdndSend(&source, target, source.position, source.window, 0, (long)x << 16 | y, CurrentTime,
           (long)source.actionCopy);
  const char* fault = "no answer";
  int dropped = 0;
  for (int quiet = 0; quiet < 500;) {
    XEvent event;
    if (!XPending(display)) {
      struct pollfd connection = {ConnectionNumber(display), POLLIN, 0};
      quiet += poll(&connection, 1, 20) == 0;
      continue;
    }
    XNextEvent(display, &event);
    if (event.type == SelectionRequest) xdndServe(&source, &event.xselectionrequest, type, data);
    if (event.type != ClientMessage) continue;
    fault =
        xdndCheckReply(&source, &event.xclient, dropped ? source.finished : source.status, target, 1, None);
    if (fault || dropped) break;
    xdndSend(&source, target, source.drop, source.window, 0, CurrentTime, 0, 0);
    dropped = 1;
    fault = "no answer";
  }
  XCloseDisplay(display);
  if (fault) fprintf(stderr, "xdnd_drag: %s\n", fault);
  return fault != NULL;
}

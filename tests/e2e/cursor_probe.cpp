// Prints the X server's cursor as it stands now, "WIDTH HEIGHT HOTX HOTY": what the user sees,
// whatever the toolkit thinks it set.
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main() {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cursor_probe: no X display\n");
    return 1;
  }
  XFixesCursorImage* cursor = XFixesGetCursorImage(display);
  if (cursor == nullptr) {
    std::fprintf(stderr, "cursor_probe: the server gives no cursor image\n");
    XCloseDisplay(display);
    return 1;
  }
  std::printf("%d %d %d %d\n", cursor->width, cursor->height, cursor->xhot, cursor->yhot);
  XFree(cursor);
  XCloseDisplay(display);
  return 0;
}

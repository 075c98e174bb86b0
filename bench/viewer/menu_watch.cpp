// menu_watch: types keys into the X display the way a user does and times how long
// until a window is mapped (a menu popping up), from X's own MapNotify events, so
// the figure does not depend on how fast a polling process starts.
//   menu_watch busy   End, 30 ms later Alt+F: milliseconds from Alt+F to the map
//   menu_watch idle   Alt+F alone
// Prints the milliseconds, or "never" after 5 s. Keys go through the XTEST
// extension, as xdotool sends them.
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

// libXtst's entry point; its header is not part of the runtime package.
extern "C" int XTestFakeKeyEvent(Display*, unsigned int keycode, Bool press, unsigned long delay);

namespace {

using Clock = std::chrono::steady_clock;

void Tap(Display* display, KeySym modifier, KeySym key) {
    const KeyCode mod = modifier != NoSymbol ? XKeysymToKeycode(display, modifier) : 0;
    const KeyCode code = XKeysymToKeycode(display, key);
    if (mod != 0) {
        XTestFakeKeyEvent(display, mod, True, 0);
    }
    XTestFakeKeyEvent(display, code, True, 0);
    XTestFakeKeyEvent(display, code, False, 0);
    if (mod != 0) {
        XTestFakeKeyEvent(display, mod, False, 0);
    }
    XFlush(display);
}

// Waits for the next window mapped anywhere on the screen; false after `limit`.
bool WaitForMap(Display* display, Clock::time_point limit) {
    while (Clock::now() < limit) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == MapNotify) {
                return true;
            }
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, 1);
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const bool busy = argc == 2 && std::strcmp(argv[1], "busy") == 0;
    if (argc != 2 || (!busy && std::strcmp(argv[1], "idle") != 0)) {
        std::fprintf(stderr, "usage: menu_watch busy|idle\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "menu_watch: cannot open the display\n");
        return 1;
    }
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);
    if (busy) {
        Tap(display, NoSymbol, XK_End);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    const Clock::time_point start = Clock::now();
    Tap(display, XK_Alt_L, XK_f);
    if (WaitForMap(display, start + std::chrono::seconds(5))) {
        const std::chrono::duration<double, std::milli> took = Clock::now() - start;
        std::printf("%.1f\n", took.count());
    } else {
        std::printf("never\n");
    }
    XCloseDisplay(display);
    return 0;
}

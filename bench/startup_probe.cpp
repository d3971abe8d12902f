// Starts a program and reports, in milliseconds, how long it took until its first top-level
// window was mapped on the display in DISPLAY. Used by measure_startup.sh.
#include <X11/Xlib.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>

extern char** environ;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: startup_probe program [args...]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (!display) {
    std::fprintf(stderr, "startup_probe: cannot open the display\n");
    return 2;
  }
  XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
  XSync(display, False);

  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[1], nullptr, nullptr, argv + 1, environ) != 0) {
    std::fprintf(stderr, "startup_probe: cannot start %s\n", argv[1]);
    return 2;
  }
  XEvent event;
  do {
    XNextEvent(display, &event);
  } while (event.type != MapNotify);
  const auto mapped = std::chrono::steady_clock::now();

  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
  XCloseDisplay(display);
  std::printf("%.2f\n", std::chrono::duration<double, std::milli>(mapped - start).count());
  return 0;
}

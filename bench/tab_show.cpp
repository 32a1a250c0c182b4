// How long a pane takes to show its page when its tab is pressed, as a person sees it: presses
// each tab of the program's window through the X server (XTest) and watches the pane's pixels
// on the screen. For each tab it prints the milliseconds from the press to the first change of
// the pane's picture, to the moment it shows the page (all but 1 % of its pixels as they end
// up) and to its last change (steady: nothing changes for 300 ms after it; a scroll bar that
// fades is such a change).
// The TV and music tabs share one pane, which loads the other's page from the service whenever
// the tab changes between them: their figures include that load.
// Usage: tab_show WINDOW_ID ROUNDS (the window as xdotool names it; its panes at rest).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "shell/layout.h"

namespace {

using Clock = std::chrono::steady_clock;
using pelmora::shell::layout::Rect;

struct Picture {
  std::vector<unsigned long> pixels;
};

Picture grab(Display* display, int x, int y, int width, int height) {
  Picture picture;
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return picture;
  picture.pixels.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      picture.pixels.push_back(XGetPixel(image, column, row));
    }
  }
  XDestroyImage(image);
  return picture;
}

int differences(const Picture& a, const Picture& b) {
  if (a.pixels.size() != b.pixels.size()) return 1 << 30;
  int count = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i) count += a.pixels[i] != b.pixels[i] ? 1 : 0;
  return count;
}

void press(Display* display, int x, int y) {
  XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(display, 1, True, CurrentTime);
  XTestFakeButtonEvent(display, 1, False, CurrentTime);
  XSync(display, False);
}

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tab_show WINDOW_ID [ROUNDS]\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 2;
  const auto window = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  XWindowAttributes attributes{};
  Window child = 0;
  int left = 0;
  int top = 0;
  if (XGetWindowAttributes(display, window, &attributes) == 0 ||
      XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &left, &top,
                            &child) == 0) {
    std::fprintf(stderr, "tab_show: no window %s\n", argv[1]);
    return 2;
  }
  const Rect pane = pelmora::shell::layout::pane(attributes.width, attributes.height);
  const auto strip = pelmora::shell::layout::tab_strip();
  const struct {
    const char* name;
    Rect tab;
  } tabs[] = {{"novels", strip.novels},
              {"recommendations", strip.recommendations},
              {"tv", strip.tv},
              {"music", strip.music},
              {"playback", strip.playback},
              {"library", strip.library}};
  const int x = left + pane.left;
  const int y = top + pane.top;
  std::vector<double> firsts;
  std::vector<double> shows;
  std::vector<double> steadies;
  for (int round = 0; round < rounds; ++round) {
    for (const auto& tab : tabs) {
      Picture last = grab(display, x, y, pane.width, pane.height);
      std::vector<std::pair<double, Picture>> changes;
      const Clock::time_point start = Clock::now();
      press(display, left + tab.tab.left + tab.tab.width / 2,
            top + tab.tab.top + tab.tab.height / 2);
      double first = -1;
      double steady = 0;
      // A change of fewer than 50 pixels is the pointer's or a caret's, not the page's.
      while (ms_since(start) < 5000 && (first < 0 || ms_since(start) - steady < 300)) {
        Picture now = grab(display, x, y, pane.width, pane.height);
        if (differences(now, last) > 50) {
          steady = ms_since(start);
          if (first < 0) first = steady;
          last = now;
          changes.emplace_back(steady, std::move(now));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      double shown = steady;
      const int allowed = pane.width * pane.height / 100;
      for (const auto& [at, picture] : changes) {
        if (differences(picture, last) <= allowed) {
          shown = at;
          break;
        }
      }
      std::printf("tab %-16s first %6.0f ms  shown %6.0f ms  steady %6.0f ms\n", tab.name, first,
                  shown, steady);
      if (first >= 0) {
        firsts.push_back(first);
        shows.push_back(shown);
        steadies.push_back(steady);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // the pane left rests
    }
  }
  std::printf("tab-show median first %.0f shown %.0f steady %.0f; max shown %.0f\n", median(firsts),
              median(shows), median(steadies),
              shows.empty() ? 0.0 : *std::max_element(shows.begin(), shows.end()));
  XCloseDisplay(display);
  return 0;
}

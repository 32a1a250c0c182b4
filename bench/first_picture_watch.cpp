// When a picture reaches the screen, as a person sees it: watches an area of the screen through
// the X server and says when it turns to one of the plain colours of the bench's clips.
// The clips (made by bench/first_picture_bench.sh) open with 0.6 s of pure red; the first goes
// on in green and closes with a blue tail, the second goes on in yellow. The watcher either
// presses a point through the X server (XTest; the pointer rests there for a while first, as a
// person's does) or starts a command, and times from that moment:
// - red and green: the first picture of the first clip (red only when its opening is shown);
// - with --follow, blue: the first clip's tail, then the blue gone, then red and yellow: the
//   second clip's first picture.
// A colour counts as shown when it covers at least 4 % of the area more than before the press or
// start (sampled on a 4-pixel grid), so that a mark or poster of the interface in a colour near
// it is never taken for the picture.
// Usage: first_picture_watch [--press X,Y [--dwell MS]] [--area X,Y,W,H] [--follow]
//                            [--timeout S] [-- COMMAND ARGS...]
// Without --area the area is the top-level window under the pressed point. The command started
// is ended once the watch is over. Prints one line of figures a phase and, last,
//   result RED GREEN BLUE BLUE_GONE NEXT_RED NEXT_YELLOW NEXT_GREEN X Y WIDTH HEIGHT
// in milliseconds from the press or start (-1: not seen) and where the picture was on the
// screen (the box of its green pixels: with --follow on its last green look, whole; without,
// on its first, which may be a part). Exits 0 when the first picture (and with --follow the
// second clip's) was seen, 1 otherwise, 2 on a wrong use.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/XTest.h>
#include <signal.h>
#include <sys/ipc.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

enum Colour { kRed, kGreen, kBlue, kYellow, kColours };

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The box of the sampled pixels of one colour, in the area's coordinates.
struct Extent {
  int left = 1 << 30;
  int top = 1 << 30;
  int right = -1;
  int bottom = -1;
};

// What one look at the area found: how many sampled pixels had each colour, and where.
struct Look {
  std::array<int, kColours> counts{};
  std::array<Extent, kColours> extents{};
  int sampled = 0;
};

constexpr int kStep = 4;

// A plain colour of the clips after the player's conversion to and from YUV: the channels that
// are on well above the ones that are off.
// The interface's own colours (the posters' dark green, blue and crimson) stay outside these.
std::optional<Colour> classify(int red, int green, int blue) {
  const bool r = red >= 200;
  const bool g = green >= 200;
  const bool b = blue >= 200;
  const bool r_off = red <= 60;
  const bool g_off = green <= 60;
  const bool b_off = blue <= 60;
  if (r && g_off && b_off) return kRed;
  if (g && r_off && b_off) return kGreen;
  if (b && r_off && g_off) return kBlue;
  if (r && g && b_off) return kYellow;
  return std::nullopt;
}

int shift_of(unsigned long mask) {
  int shift = 0;
  while (mask != 0 && (mask & 1UL) == 0) {
    mask >>= 1;
    ++shift;
  }
  return shift;
}

int channel(unsigned long pixel, unsigned long mask) {
  if (mask == 0) return 0;
  const unsigned long value = (pixel & mask) >> shift_of(mask);
  const unsigned long full = mask >> shift_of(mask);
  return static_cast<int>(value * 255 / full);
}

// Reads the area of the root window, through shared memory where the server offers it (a
// window-sized read then costs the server a copy, not a trip through the socket).
class Grabber {
 public:
  Grabber(Display* display, const Box& area) : display_(display), area_(area) {
    const int screen = DefaultScreen(display);
    if (XShmQueryExtension(display)) {
      image_ = XShmCreateImage(display, DefaultVisual(display, screen),
                               static_cast<unsigned>(DefaultDepth(display, screen)), ZPixmap,
                               nullptr, &shm_, static_cast<unsigned>(area.width),
                               static_cast<unsigned>(area.height));
    }
    if (image_ != nullptr) {
      shm_.shmid = shmget(IPC_PRIVATE,
                          static_cast<std::size_t>(image_->bytes_per_line) *
                              static_cast<std::size_t>(image_->height),
                          IPC_CREAT | 0600);
      shm_.shmaddr = image_->data =
          shm_.shmid >= 0 ? static_cast<char*>(shmat(shm_.shmid, nullptr, 0)) : nullptr;
      shm_.readOnly = False;
      if (shm_.shmaddr == nullptr || shm_.shmaddr == reinterpret_cast<char*>(-1) ||
          !XShmAttach(display, &shm_)) {
        release();
      } else {
        XSync(display, False);
        shmctl(shm_.shmid, IPC_RMID, nullptr);  // goes with the last detach
      }
    }
  }
  ~Grabber() { release(); }
  Grabber(const Grabber&) = delete;
  Grabber& operator=(const Grabber&) = delete;

  bool shared() const { return image_ != nullptr; }

  // Lets go of the shared memory; before the display is closed.
  void close() { release(); }

  Look look() {
    XImage* image = image_;
    if (image != nullptr) {
      if (!XShmGetImage(display_, DefaultRootWindow(display_), image, area_.x, area_.y,
                        AllPlanes)) {
        return {};
      }
    } else {
      image = XGetImage(display_, DefaultRootWindow(display_), area_.x, area_.y,
                        static_cast<unsigned>(area_.width), static_cast<unsigned>(area_.height),
                        AllPlanes, ZPixmap);
      if (image == nullptr) return {};
    }
    // 32-bit pixels in the host's order (as on Xvfb at depth 24) are read straight from the
    // image; XGetPixel for any other form.
    const bool direct =
        image->bits_per_pixel == 32 &&
        image->byte_order == (std::endian::native == std::endian::little ? LSBFirst : MSBFirst);
    Look look;
    for (int row = kStep / 2; row < area_.height; row += kStep) {
      const char* line = image->data + static_cast<std::ptrdiff_t>(row) * image->bytes_per_line;
      for (int column = kStep / 2; column < area_.width; column += kStep) {
        unsigned long pixel = 0;
        if (direct) {
          std::uint32_t value = 0;
          std::memcpy(&value, line + static_cast<std::ptrdiff_t>(column) * 4, sizeof value);
          pixel = value;
        } else {
          pixel = XGetPixel(image, column, row);
        }
        ++look.sampled;
        const auto colour =
            classify(channel(pixel, image->red_mask), channel(pixel, image->green_mask),
                     channel(pixel, image->blue_mask));
        if (!colour) continue;
        ++look.counts[*colour];
        Extent& extent = look.extents[*colour];
        extent.left = std::min(extent.left, column);
        extent.top = std::min(extent.top, row);
        extent.right = std::max(extent.right, column);
        extent.bottom = std::max(extent.bottom, row);
      }
    }
    if (image != image_) XDestroyImage(image);
    return look;
  }

 private:
  void release() {
    if (image_ == nullptr) return;
    if (shm_.shmaddr != nullptr && shm_.shmaddr != reinterpret_cast<char*>(-1)) {
      XShmDetach(display_, &shm_);
      XSync(display_, False);
      shmdt(shm_.shmaddr);
    }
    image_->data = nullptr;
    XDestroyImage(image_);
    image_ = nullptr;
  }

  Display* display_;
  Box area_;
  XImage* image_ = nullptr;
  XShmSegmentInfo shm_{};
};

// A colour is shown when it covers 4 % of the area more than it did before the press or start.
bool shown(const Look& look, const Look& before, Colour colour) {
  return look.sampled > 0 && (look.counts[colour] - before.counts[colour]) * 25 >= look.sampled;
}

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool parse_ints(const char* text, int* values, int count) {
  std::string rest(text);
  for (int i = 0; i < count; ++i) {
    char* end = nullptr;
    const long value = std::strtol(rest.c_str(), &end, 10);
    if (end == rest.c_str()) return false;
    values[i] = static_cast<int>(value);
    rest = end;
    if (i + 1 < count) {
      if (rest.empty() || rest[0] != ',') return false;
      rest.erase(0, 1);
    }
  }
  return rest.empty();
}

// The top-level window under a point of the screen, in screen coordinates.
std::optional<Box> window_at(Display* display, int x, int y) {
  const Window root = DefaultRootWindow(display);
  Window child = 0;
  int local_x = 0;
  int local_y = 0;
  if (!XTranslateCoordinates(display, root, root, x, y, &local_x, &local_y, &child) || child == 0) {
    return std::nullopt;
  }
  XWindowAttributes attributes{};
  if (!XGetWindowAttributes(display, child, &attributes)) return std::nullopt;
  return Box{attributes.x + attributes.border_width, attributes.y + attributes.border_width,
             attributes.width, attributes.height};
}

// The area cut to the screen (XGetImage refuses any part outside it).
Box on_screen(Display* display, Box box) {
  const int width = DisplayWidth(display, DefaultScreen(display));
  const int height = DisplayHeight(display, DefaultScreen(display));
  const int right = std::min(box.x + box.width, width);
  const int bottom = std::min(box.y + box.height, height);
  box.x = std::max(box.x, 0);
  box.y = std::max(box.y, 0);
  box.width = std::max(right - box.x, 0);
  box.height = std::max(bottom - box.y, 0);
  return box;
}

pid_t start(char** command) {
  const pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    execvp(command[0], command);
    std::perror(command[0]);
    _exit(127);
  }
  return pid;
}

// Ends the started command and everything in its process group, at once if it does not go
// within two seconds.
void end(pid_t pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  const Clock::time_point asked = Clock::now();
  while (waitpid(pid, nullptr, WNOHANG) == 0) {
    if (ms_since(asked) > 2000) {
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

struct Times {
  double red = -1;
  double green = -1;
  double blue = -1;
  double blue_gone = -1;
  double next_red = -1;
  double next_yellow = -1;
  double next_green = -1;
};

}  // namespace

int main(int argc, char** argv) {
  std::optional<std::array<int, 2>> press;
  std::optional<Box> area;
  int dwell_ms = 300;
  double timeout_s = 20;
  bool follow = false;
  char** command = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool has_value = i + 1 < argc;
    if (option == "--press" && has_value) {
      std::array<int, 2> point{};
      if (!parse_ints(argv[++i], point.data(), 2)) return 2;
      press = point;
    } else if (option == "--area" && has_value) {
      int values[4] = {};
      if (!parse_ints(argv[++i], values, 4) || values[2] <= 0 || values[3] <= 0) return 2;
      area = Box{values[0], values[1], values[2], values[3]};
    } else if (option == "--dwell" && has_value) {
      dwell_ms = std::atoi(argv[++i]);
    } else if (option == "--timeout" && has_value) {
      timeout_s = std::atof(argv[++i]);
    } else if (option == "--follow") {
      follow = true;
    } else if (option == "--" && i + 1 < argc) {
      command = argv + i + 1;
      break;
    } else {
      std::fprintf(stderr,
                   "usage: first_picture_watch [--press X,Y [--dwell MS]] [--area X,Y,W,H]"
                   " [--follow] [--timeout S] [-- COMMAND ARGS...]\n");
      return 2;
    }
  }
  if (press.has_value() == (command != nullptr) || (!area && !press)) {
    std::fprintf(stderr, "first_picture_watch: give either --press or a command (and an area)\n");
    return 2;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "first_picture_watch: no X display\n");
    return 2;
  }
  if (!area) area = window_at(display, (*press)[0], (*press)[1]);
  if (!area) {
    std::fprintf(stderr, "first_picture_watch: no window at the point\n");
    return 2;
  }
  const Box box = on_screen(display, *area);
  if (box.width == 0 || box.height == 0) {
    std::fprintf(stderr, "first_picture_watch: the area is off the screen\n");
    return 2;
  }
  Grabber grabber(display, box);

  // What the area shows before: the colours that are the interface's, not the picture's.
  const Look before = grabber.look();

  // The start of the clock: the press (after the pointer has rested on the point) or the start
  // of the command.
  pid_t child = 0;
  Clock::time_point start_time;
  if (press) {
    XTestFakeMotionEvent(display, -1, (*press)[0], (*press)[1], CurrentTime);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(dwell_ms));
    start_time = Clock::now();
    XTestFakeButtonEvent(display, 1, True, CurrentTime);
    XTestFakeButtonEvent(display, 1, False, CurrentTime);
    XSync(display, False);
  } else {
    start_time = Clock::now();
    child = start(command);
    if (child < 0) {
      std::perror("fork");
      return 2;
    }
    setpgid(child, child);  // whichever of the two runs first
  }

  // The phases in their order on the screen: the first clip's first picture (red, or green when
  // its opening is not shown) up to its green; its blue tail; the end of the tail; the second
  // clip's first picture (red, or yellow) up to its yellow.
  Times times;
  Box picture;
  enum Phase { kFirst, kTail, kTailGone, kNext, kDone } phase = kFirst;
  const Phase last = follow ? kDone : kTail;
  Clock::time_point phase_start = start_time;
  double phase_limit_ms = timeout_s * 1000;
  const auto green_box = [&box](const Look& look) {
    const Extent& extent = look.extents[kGreen];
    return Box{box.x + extent.left - kStep / 2, box.y + extent.top - kStep / 2,
               extent.right - extent.left + kStep, extent.bottom - extent.top + kStep};
  };
  const auto next_phase = [&](Phase to, double limit_ms) {
    phase = to;
    phase_start = Clock::now();
    phase_limit_ms = limit_ms;
  };
  bool child_gone = false;
  int looks = 0;
  while (phase != last) {
    if (ms_since(phase_start) > phase_limit_ms) break;
    if (child > 0 && waitpid(child, nullptr, WNOHANG) == child) {
      child_gone = true;
      child = 0;
    }
    const Look look = grabber.look();
    ++looks;
    const double now = ms_since(start_time);
    const auto is = [&](Colour colour) { return shown(look, before, colour); };
    switch (phase) {
      case kFirst:
        if (times.red < 0 && times.green < 0 && is(kRed)) times.red = now;
        if (times.green < 0 && is(kGreen)) {
          picture = green_box(look);
          times.green = now;
          next_phase(kTail, 60000);  // a clip of a minute at most
        }
        break;
      case kTail:
        // Where the picture is: a picture may reach the screen in parts, so the green's box is
        // taken again on every look until the tail.
        if (is(kGreen)) picture = green_box(look);
        if (is(kBlue)) {
          times.blue = now;
          next_phase(kTailGone, 60000);
        }
        break;
      case kTailGone:
      case kNext:
        if (phase == kTailGone && !is(kBlue)) {
          times.blue_gone = now;
          next_phase(kNext, 30000);
        }
        // The second clip's picture may replace the tail directly.
        if (times.next_red < 0 && times.next_yellow < 0 && times.next_green < 0) {
          if (is(kRed)) times.next_red = now;
          // Green here is the first clip again, not the second: noted, and the watch ends.
          if (is(kGreen)) {
            times.next_green = now;
            phase = kDone;
          }
        }
        if (is(kYellow)) {
          times.next_yellow = now;
          phase = kDone;
        }
        break;
      case kDone:
        break;
    }
    if (child_gone) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  end(child);

  const double first = times.red >= 0 ? times.red : times.green;
  const std::string red_shown =
      times.red < 0 ? "not shown"
      : times.green < 0
          ? "shown, no green after it"
          : "shown for " + std::to_string(std::lround(times.green - times.red)) + " ms of 600";
  std::printf("first picture %.0f ms (%s), red %s, green at %.0f ms; picture %dx%d%+d%+d%s\n",
              first,
              times.red >= 0 ? "its opening"
              : first >= 0   ? "past its opening"
                             : "none",
              red_shown.c_str(), times.green, picture.width, picture.height, picture.x, picture.y,
              grabber.shared() ? "" : " (read without shared memory)");
  if (follow) {
    const double next = times.next_red >= 0 ? times.next_red : times.next_yellow;
    std::printf("tail (blue) at %.0f ms, gone at %.0f ms; next picture %.0f ms (%s)%s\n",
                times.blue, times.blue_gone, next,
                times.next_red >= 0      ? "its opening"
                : times.next_yellow >= 0 ? "past its opening"
                                         : "none",
                times.next_green >= 0 ? "; the first clip again instead of the second" : "");
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const double busy_ms =
      static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
  std::printf("the watch took %.0f %% of a core (%.1f ms a look)\n",
              busy_ms * 100 / std::max(ms_since(start_time), 1.0), busy_ms / std::max(looks, 1));
  std::printf("result %.0f %.0f %.0f %.0f %.0f %.0f %.0f %d %d %d %d\n", times.red, times.green,
              times.blue, times.blue_gone, times.next_red, times.next_yellow, times.next_green,
              picture.x, picture.y, picture.width, picture.height);
  if (child_gone) std::fprintf(stderr, "first_picture_watch: the command ended by itself\n");
  grabber.close();
  XCloseDisplay(display);
  const bool first_seen = first >= 0;
  const bool next_seen = times.next_red >= 0 || times.next_yellow >= 0;
  return first_seen && (!follow || next_seen) ? 0 : 1;
}

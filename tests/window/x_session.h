#pragma once

// A virtual screen of the tests' own (Xvfb, and on request a window manager on it), and what a
// person does and sees there: pointer and key events through the XTest extension, the screen's
// pixels, and the windows of a process with their places and titles. Nothing here reaches into
// the program under test; everything goes through the X server.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/extensions/Xfixes.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "support/virtual_screen.h"

extern char** environ;

namespace pelmora::window_test {

using Clock = std::chrono::steady_clock;

inline void pause_ms(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Polls `done` every 50 ms until it holds or `ms` pass.
inline bool wait_until(const std::function<bool()>& done, int ms) {
  const auto limit = Clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (Clock::now() > limit) return false;
    pause_ms(50);
  }
  return true;
}

// A child process started without a shell; ended (SIGTERM, then SIGKILL) when the object goes.
class Child {
 public:
  Child() = default;
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  ~Child() { stop(); }

  // `log` names a file for the child's standard output and error (empty: the test's own).
  bool start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
             const std::string& log = {}) {
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** at = environ; *at != nullptr; ++at) environment.emplace_back(*at);
    for (const std::string& entry : env) {
      const std::string name = entry.substr(0, entry.find('=') + 1);
      std::erase_if(environment, [&](const std::string& old) { return old.starts_with(name); });
      environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (const std::string& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!log.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    const bool started =
        ::posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    return started;
  }
  pid_t pid() const { return pid_; }
  // True while the process runs; reaps it once it has ended.
  bool running() {
    if (pid_ <= 0) return false;
    int status = 0;
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == 0) return true;
    if (done == pid_) {
      exit_status_ = status;
      pid_ = 0;
    }
    return false;
  }
  // The exit code once it has ended normally, -1 otherwise.
  int exit_code() const {
    return exit_status_ && WIFEXITED(*exit_status_) ? WEXITSTATUS(*exit_status_) : -1;
  }
  bool wait_exit(int ms) {
    return wait_until([this] { return !running(); }, ms);
  }
  void stop() {
    if (!running()) return;
    ::kill(pid_, SIGTERM);
    if (!wait_exit(5000)) {
      ::kill(pid_, SIGKILL);
      wait_exit(5000);
    }
  }

 private:
  pid_t pid_ = 0;
  std::optional<int> exit_status_;
};

struct Box {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  int center_x() const { return x + width / 2; }
  int center_y() const { return y + height / 2; }
  bool operator==(const Box&) const = default;
};

struct Rgb {
  int r = 0;
  int g = 0;
  int b = 0;
  bool near(const Rgb& other, int tolerance = 12) const {
    return std::abs(r - other.r) <= tolerance && std::abs(g - other.g) <= tolerance &&
           std::abs(b - other.b) <= tolerance;
  }
};

// A picture of part of the screen.
struct Shot {
  Box area;
  std::vector<std::uint32_t> pixels;  // 0x00RRGGBB, row by row
  Rgb at(int x, int y) const {        // screen coordinates
    const std::uint32_t p =
        pixels[static_cast<std::size_t>((y - area.y) * area.width + (x - area.x))];
    return {static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF),
            static_cast<int>(p & 0xFF)};
  }
  // How many pixels differ from `other` (same area) by more than a little.
  int differences(const Shot& other) const {
    int count = 0;
    for (std::size_t i = 0; i < pixels.size() && i < other.pixels.size(); ++i) {
      const std::uint32_t a = pixels[i];
      const std::uint32_t b = other.pixels[i];
      for (int shift = 0; shift < 24; shift += 8) {
        const int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
        if (d > 24 || d < -24) {
          ++count;
          break;
        }
      }
    }
    return count;
  }
};

class XSession {
 public:
  XSession() = default;
  XSession(const XSession&) = delete;
  XSession& operator=(const XSession&) = delete;
  ~XSession() {
    window_manager_.stop();
    if (display_ != nullptr) XCloseDisplay(display_);
    screen_.reset();
  }

  // Starts Xvfb on a free display and connects to it.
  bool open(int width = 1600, int height = 1000) {
    screen_ = std::make_unique<pelmora::testing::VirtualScreen>(std::to_string(width) + "x" +
                                                                std::to_string(height) + "x24");
    name_ = screen_->display();
    if (name_.empty()) return false;
    display_ = XOpenDisplay(name_.c_str());
    if (display_ == nullptr) return false;
    // Windows come and go while the test looks at them: a request about a window that has
    // just gone fails, and that is not an error of the test.
    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    int event = 0, error = 0, major = 0, minor = 0;
    return XTestQueryExtension(display_, &event, &error, &major, &minor);
  }
  const std::string& name() const { return name_; }
  Display* display() const { return display_; }
  int screen_width() const { return DisplayWidth(display_, DefaultScreen(display_)); }
  int screen_height() const { return DisplayHeight(display_, DefaultScreen(display_)); }

  // Starts openbox on the screen and waits until it manages windows.
  bool start_window_manager() {
    if (!window_manager_.start({"openbox", "--sm-disable"}, {"DISPLAY=" + name_}, "/dev/null")) {
      return false;
    }
    const Atom check = atom("_NET_SUPPORTING_WM_CHECK");
    return wait_until(
        [&] {
          Atom type = 0;
          int format = 0;
          unsigned long count = 0, after = 0;
          unsigned char* data = nullptr;
          const bool found = XGetWindowProperty(display_, root(), check, 0, 1, False, XA_WINDOW,
                                                &type, &format, &count, &after, &data) == Success &&
                             count == 1;
          if (data != nullptr) XFree(data);
          return found;
        },
        10000);
  }

  Window root() const { return DefaultRootWindow(display_); }
  Atom atom(const char* name) const { return XInternAtom(display_, name, False); }

  // ---- Input -----------------------------------------------------------------------------
  void move(int x, int y) {
    XTestFakeMotionEvent(display_, -1, x, y, CurrentTime);
    XSync(display_, False);
    pause_ms(40);
  }
  void button(int number, bool down) {
    XTestFakeButtonEvent(display_, static_cast<unsigned>(number), down ? True : False, CurrentTime);
    XSync(display_, False);
  }
  // A person's click: the pointer goes there, rests a moment, presses and lets go.
  void click(int x, int y, int number = 1) {
    move(x, y);
    button(number, true);
    pause_ms(60);
    button(number, false);
    // Long enough that the next click at the same place is not a double click.
    pause_ms(550);
  }
  void double_click(int x, int y) {
    move(x, y);
    for (int i = 0; i < 2; ++i) {
      button(1, true);
      pause_ms(30);
      button(1, false);
      pause_ms(60);
    }
    pause_ms(400);
  }
  // Presses at the start, moves with the button held in steps, lets go at the end.
  // Presses at (x0, y0), moves to (x1, y1) in `steps` moves `step_ms` apart, and lets go.
  void drag(int x0, int y0, int x1, int y1, int steps = 12, int step_ms = 0) {
    move(x0, y0);
    button(1, true);
    pause_ms(80);
    for (int step = 1; step <= steps; ++step) {
      move(x0 + (x1 - x0) * step / steps, y0 + (y1 - y0) * step / steps);
      if (step_ms > 0) pause_ms(step_ms);
    }
    pause_ms(120);
    button(1, false);
    pause_ms(400);
  }
  void key(KeySym symbol, bool shift = false, int rest_ms = 120) {
    const KeyCode code = XKeysymToKeycode(display_, symbol);
    const KeyCode shift_code = XKeysymToKeycode(display_, XK_Shift_L);
    if (shift) XTestFakeKeyEvent(display_, shift_code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    if (shift) XTestFakeKeyEvent(display_, shift_code, False, CurrentTime);
    XSync(display_, False);
    pause_ms(rest_ms);
  }
  // Holds a key down for `ms`, as a person holding it (the X server repeats it meanwhile).
  void hold(KeySym symbol, int ms) {
    const KeyCode code = XKeysymToKeycode(display_, symbol);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XSync(display_, False);
    pause_ms(ms);
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XSync(display_, False);
    pause_ms(120);
  }
  // Types printable ASCII text on a US keyboard.
  void type(const std::string& text) {
    struct Punctuation {
      char plain;
      char shifted;
      const char* name;
    };
    static constexpr Punctuation kPunctuation[] = {
        {'`', '~', "grave"},      {'1', '!', "1"},           {'2', '@', "2"},
        {'3', '#', "3"},          {'4', '$', "4"},           {'5', '%', "5"},
        {'6', '^', "6"},          {'7', '&', "7"},           {'8', '*', "8"},
        {'9', '(', "9"},          {'0', ')', "0"},           {'-', '_', "minus"},
        {'=', '+', "equal"},      {'[', '{', "bracketleft"}, {']', '}', "bracketright"},
        {'\\', '|', "backslash"}, {';', ':', "semicolon"},   {'\'', '"', "apostrophe"},
        {',', '<', "comma"},      {'.', '>', "period"},      {'/', '?', "slash"},
        {' ', ' ', "space"}};
    for (const char c : text) {
      if (c >= 'a' && c <= 'z') {
        key(XK_a + (c - 'a'), false, 30);
        continue;
      }
      if (c >= 'A' && c <= 'Z') {
        key(XK_a + (c - 'A'), true, 30);
        continue;
      }
      for (const Punctuation& p : kPunctuation) {
        if (c == p.plain || c == p.shifted) {
          key(XStringToKeysym(p.name), c != p.plain, 30);
          break;
        }
      }
    }
  }

  // ---- What the screen shows -------------------------------------------------------------
  Shot grab(const Box& area) {
    Shot shot;
    shot.area = area;
    XImage* image = XGetImage(display_, root(), area.x, area.y, static_cast<unsigned>(area.width),
                              static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
    if (image == nullptr) return shot;
    shot.pixels.resize(static_cast<std::size_t>(area.width) *
                       static_cast<std::size_t>(area.height));
    for (int y = 0; y < area.height; ++y) {
      for (int x = 0; x < area.width; ++x) {
        shot.pixels[static_cast<std::size_t>(y * area.width + x)] =
            static_cast<std::uint32_t>(XGetPixel(image, x, y)) & 0xFFFFFF;
      }
    }
    XDestroyImage(image);
    return shot;
  }
  Rgb pixel(int x, int y) { return grab({x, y, 1, 1}).at(x, y); }

  // ---- Windows ---------------------------------------------------------------------------
  struct WindowInfo {
    Window id = 0;
    Box box;  // on the root window
    bool viewable = false;
    bool override_redirect = false;
    std::string title;
  };

  // Every window of the process (by _NET_WM_PID), searched through the window manager's frames.
  std::vector<WindowInfo> windows_of(pid_t pid) {
    std::vector<WindowInfo> found;
    collect(root(), pid, 0, found);
    return found;
  }
  // The viewable window of the process with this title.
  std::optional<WindowInfo> window_titled(pid_t pid, const std::string& title) {
    for (const WindowInfo& info : windows_of(pid)) {
      if (info.viewable && info.title == title) return info;
    }
    return std::nullopt;
  }
  std::optional<WindowInfo> info(Window window) {
    XWindowAttributes attributes;
    if (XGetWindowAttributes(display_, window, &attributes) == 0) return std::nullopt;
    WindowInfo result;
    result.id = window;
    int x = 0, y = 0;
    Window child = 0;
    XTranslateCoordinates(display_, window, root(), 0, 0, &x, &y, &child);
    result.box = {x, y, attributes.width, attributes.height};
    result.viewable = attributes.map_state == IsViewable;
    result.override_redirect = attributes.override_redirect != 0;
    result.title = title_of(window);
    return result;
  }
  // Whether the pointer shows: the server's current cursor has a pixel that is not transparent.
  bool pointer_shown() {
    XFixesCursorImage* cursor = XFixesGetCursorImage(display_);
    if (cursor == nullptr) return true;
    bool shown = false;
    for (int i = 0; i < cursor->width * cursor->height && !shown; ++i) {
      shown = (cursor->pixels[i] >> 24) != 0;  // ARGB in an unsigned long
    }
    XFree(cursor);
    return shown;
  }
  // The window's _NET_WM_STATE contains the named state.
  bool has_state(Window window, const char* state) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    bool found = false;
    if (XGetWindowProperty(display_, window, atom("_NET_WM_STATE"), 0, 32, False, XA_ATOM, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr) {
      const Atom wanted = atom(state);
      const auto* atoms = reinterpret_cast<const Atom*>(data);
      for (unsigned long i = 0; i < count; ++i) found = found || atoms[i] == wanted;
    }
    if (data != nullptr) XFree(data);
    return found;
  }
  // Asks the window manager to bring the window back and give it the focus, as a task bar does.
  void activate(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = atom("_NET_ACTIVE_WINDOW");
    event.xclient.format = 32;
    event.xclient.data.l[0] = 2;  // from a pager
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display_, root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
    XSync(display_, False);
  }

 private:
  std::string title_of(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string title;
    if (XGetWindowProperty(display_, window, atom("_NET_WM_NAME"), 0, 256, False,
                           atom("UTF8_STRING"), &type, &format, &count, &after, &data) == Success &&
        data != nullptr) {
      title.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return title;
  }
  std::optional<pid_t> pid_of(Window window) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::optional<pid_t> pid;
    if (XGetWindowProperty(display_, window, atom("_NET_WM_PID"), 0, 1, False, XA_CARDINAL, &type,
                           &format, &count, &after, &data) == Success &&
        data != nullptr && count == 1) {
      pid = static_cast<pid_t>(*reinterpret_cast<const unsigned long*>(data));
    }
    if (data != nullptr) XFree(data);
    return pid;
  }
  void collect(Window parent, pid_t pid, int depth, std::vector<WindowInfo>& found) {
    Window root_return = 0, parent_return = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (XQueryTree(display_, parent, &root_return, &parent_return, &children, &count) == 0) return;
    for (unsigned int i = 0; i < count; ++i) {
      if (pid_of(children[i]) == pid) {
        if (auto window = info(children[i])) found.push_back(*window);
      } else if (depth < 2) {
        collect(children[i], pid, depth + 1, found);
      }
    }
    if (children != nullptr) XFree(children);
  }

  std::string name_;
  Display* display_ = nullptr;
  std::unique_ptr<pelmora::testing::VirtualScreen> screen_;
  Child window_manager_;
};

}  // namespace pelmora::window_test

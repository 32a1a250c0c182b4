#pragma once

// What other programs hand the program under test through the X server: a drag source (a file
// manager, a browser) dropping an address list over XDND, a clipboard owner answering a paste,
// and a keyboard layout that has the characters a person types.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <initializer_list>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pelmora::window_test {

// Answers a request for a selection this client owns: the list of `types` for TARGETS, `text`
// for any of `types`, nothing for any other type.
inline void answer_selection(Display* display, const XSelectionRequestEvent& request,
                             const std::string& text, const std::vector<Atom>& types) {
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = request.requestor;
  reply.xselection.selection = request.selection;
  reply.xselection.target = request.target;
  reply.xselection.time = request.time;
  reply.xselection.property = request.property != None ? request.property : request.target;
  const Atom targets = XInternAtom(display, "TARGETS", False);
  if (request.target == targets) {
    XChangeProperty(display, request.requestor, reply.xselection.property, XA_ATOM, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(types.data()),
                    static_cast<int>(types.size()));
  } else if (std::find(types.begin(), types.end(), request.target) != types.end()) {
    XChangeProperty(display, request.requestor, reply.xselection.property, request.target, 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(text.data()),
                    static_cast<int>(text.size()));
  } else {
    reply.xselection.property = None;
  }
  XSendEvent(display, request.requestor, False, NoEventMask, &reply);
  XFlush(display);
}

// A drag source of the test's own: it offers an address list over the XDND protocol (version 5)
// to a window at a point of the screen, answers the target's request for the data and waits
// until the target says it is done.
class XdndSource {
 public:
  explicit XdndSource(const std::string& display_name)
      : display_(XOpenDisplay(display_name.c_str())) {
    if (display_ == nullptr) return;
    source_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, 0);
  }
  ~XdndSource() {
    if (display_ == nullptr) return;
    XDestroyWindow(display_, source_);
    XCloseDisplay(display_);
  }
  XdndSource(const XdndSource&) = delete;
  XdndSource& operator=(const XdndSource&) = delete;

  // Drags `uri_list` (lines ending in CR LF) over `target` at screen point (x, y) and drops it
  // there. True when the target accepted the drag and finished the drop.
  bool drop(Window target, int x, int y, const std::string& uri_list, int ms = 8000) {
    if (display_ == nullptr) return false;
    data_ = uri_list;
    XSetSelectionOwner(display_, atom("XdndSelection"), source_, CurrentTime);
    long version = 5;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* value = nullptr;
    if (XGetWindowProperty(display_, target, atom("XdndAware"), 0, 1, False, XA_ATOM, &type,
                           &format, &count, &after, &value) != Success ||
        value == nullptr || count == 0) {
      if (value != nullptr) XFree(value);
      return false;
    }
    version = std::min<long>(version, static_cast<long>(*reinterpret_cast<Atom*>(value)));
    XFree(value);

    send(target, "XdndEnter",
         {static_cast<long>(source_), version << 24, static_cast<long>(atom("text/uri-list")),
          static_cast<long>(atom("text/plain")), 0});
    send(target, "XdndPosition",
         {static_cast<long>(source_), 0, (x << 16) | y, CurrentTime,
          static_cast<long>(atom("XdndActionCopy"))});
    const auto status = wait_for("XdndStatus", ms);
    if (!status || (status->data.l[1] & 1) == 0) {
      send(target, "XdndLeave", {static_cast<long>(source_), 0, 0, 0, 0});
      XFlush(display_);
      return false;
    }
    send(target, "XdndDrop", {static_cast<long>(source_), 0, CurrentTime, 0, 0});
    return wait_for("XdndFinished", ms).has_value();
  }

 private:
  Atom atom(const char* name) { return XInternAtom(display_, name, False); }

  void send(Window target, const char* message, std::initializer_list<long> data) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.display = display_;
    event.xclient.window = target;
    event.xclient.message_type = atom(message);
    event.xclient.format = 32;
    int at = 0;
    for (long value : data) event.xclient.data.l[at++] = value;
    XSendEvent(display_, target, False, NoEventMask, &event);
    XFlush(display_);
  }

  // Waits for a message of the target, answering its requests for the dragged data meanwhile.
  std::optional<XClientMessageEvent> wait_for(const char* message, int ms) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    const Atom wanted = atom(message);
    while (std::chrono::steady_clock::now() < limit) {
      if (XPending(display_) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == SelectionRequest) {
        answer_selection(display_, event.xselectionrequest, data_,
                         {atom("text/uri-list"), atom("text/plain")});
      }
      if (event.type == ClientMessage && event.xclient.message_type == wanted) return event.xclient;
    }
    return std::nullopt;
  }

  Display* display_ = nullptr;
  Window source_ = 0;
  std::string data_;
};

// Owns the clipboard (CLIPBOARD) and the selection (PRIMARY, what a middle click pastes) with a
// UTF-8 text, answering paste requests on a thread of its own until it goes.
class SelectionOwner {
 public:
  SelectionOwner(const std::string& display_name, std::string text)
      : display_(XOpenDisplay(display_name.c_str())), text_(std::move(text)) {
    if (display_ == nullptr) return;
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), -10, -10, 1, 1, 0, 0, 0);
    for (const char* selection : {"CLIPBOARD", "PRIMARY"}) {
      XSetSelectionOwner(display_, XInternAtom(display_, selection, False), window_, CurrentTime);
    }
    XSync(display_, False);
    serving_ = std::thread([this] { serve(); });
  }
  ~SelectionOwner() {
    if (display_ == nullptr) return;
    stop_ = true;
    serving_.join();
    XDestroyWindow(display_, window_);
    XCloseDisplay(display_);
  }
  SelectionOwner(const SelectionOwner&) = delete;
  SelectionOwner& operator=(const SelectionOwner&) = delete;

 private:
  void serve() {
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    const Atom plain = XInternAtom(display_, "text/plain;charset=utf-8", False);
    while (!stop_) {
      if (XPending(display_) == 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        continue;
      }
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type != SelectionRequest) continue;
      answer_selection(display_, event.xselectionrequest, text_, {utf8, plain});
    }
  }

  Display* display_ = nullptr;
  Window window_ = 0;
  std::string text_;
  std::atomic<bool> stop_{false};
  std::thread serving_;
};

// Types Unicode characters (UTF-8 text of characters outside ASCII) through keys of the X
// server's keyboard that are bound to them for good beforehand, as a layout that has them binds
// them: unlike a key bound only for the moment of its press, the program may read it late.
inline void type_bound(Display* display, const std::u32string& text) {
  int first = 0, last = 0;
  XDisplayKeycodes(display, &first, &last);
  std::vector<KeyCode> codes;
  int code = last;
  for (const char32_t c : text) {
    KeySym symbol = 0x01000000 | static_cast<KeySym>(c);
    XChangeKeyboardMapping(display, code, 1, &symbol, 1);
    codes.push_back(static_cast<KeyCode>(code--));
  }
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  for (const KeyCode key : codes) {
    XTestFakeKeyEvent(display, key, True, CurrentTime);
    XTestFakeKeyEvent(display, key, False, CurrentTime);
    XSync(display, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(60));
  }
}

// A key pressed with Control held (Ctrl+A, Ctrl+V).
inline void control_key(Display* display, KeySym symbol) {
  const KeyCode control = XKeysymToKeycode(display, XK_Control_L);
  XTestFakeKeyEvent(display, control, True, CurrentTime);
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), True, CurrentTime);
  XTestFakeKeyEvent(display, XKeysymToKeycode(display, symbol), False, CurrentTime);
  XTestFakeKeyEvent(display, control, False, CurrentTime);
  XSync(display, False);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
}

}  // namespace pelmora::window_test

#include "platform/qt/mpv_video_window.h"

#include <mpv/client.h>

#include <chrono>
#include <thread>

namespace pelmora::platform::qt {

MpvVideoWindow::MpvVideoWindow(mpv_handle* handle, QWidget* parent)
    : QWidget(parent), handle_(handle) {
  // A native window of its own, without making its containers native too: they stay ordinary
  // widgets drawn with the rest of the program's window.
  setAttribute(Qt::WA_DontCreateNativeAncestors);
  setAttribute(Qt::WA_NativeWindow);
  // Qt keeps no picture of this widget and paints nothing into the window.
  setAttribute(Qt::WA_PaintOnScreen);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAttribute(Qt::WA_NoSystemBackground);
  setAutoFillBackground(false);
}

MpvVideoWindow::~MpvVideoWindow() {
  if (handle_ == nullptr || !attached_) return;
  // The window goes before the player: mpv must stop drawing into it first. Stopping the item
  // (with the output no longer held open) closes the video output; the player then opens later
  // items without picture.
  mpv_set_property_string(handle_, "force-window", "no");
  const char* stop[] = {"stop", nullptr};
  mpv_command(handle_, stop);
  for (int waited = 0; waited < 1000; waited += 5) {
    int configured = 0;
    if (mpv_get_property(handle_, "vo-configured", MPV_FORMAT_FLAG, &configured) < 0 ||
        configured == 0) {
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool MpvVideoWindow::attach_output() {
  if (attached_) return true;
  if (handle_ == nullptr || parentWidget() == nullptr) return false;
  auto id = static_cast<int64_t>(winId());
  attached_ = mpv_set_property(handle_, "wid", MPV_FORMAT_INT64, &id) >= 0;
  return attached_;
}

void MpvVideoWindow::release() {
  // The player destroys its handle next, which closes the video output while this window is
  // still there.
  handle_ = nullptr;
}

}  // namespace pelmora::platform::qt

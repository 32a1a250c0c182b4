#include "platform/player/mpv_video_window.h"

#include <mpv/client.h>

#include <QtGui/QPlatformSurfaceEvent>
#include <QtGui/QWindow>

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
  close_output();
}

void MpvVideoWindow::close_output() {
  if (handle_ == nullptr || !attached_) return;
  attached_ = false;
  // mpv must be done with the window before it goes. Stopping the item (with the output no
  // longer held open) closes the video output; the player then opens later items without
  // picture. The wait is for the output to be gone ("current-vo" no longer there), not merely
  // unconfigured: mpv unmaps and destroys its own window inside this one as it closes, and
  // were this one gone by then, the X server's refusal would end the program (mpv puts Xlib's
  // default handler back before it closes its display connection).
  mpv_set_property_string(handle_, "force-window", "no");
  const char* stop[] = {"stop", nullptr};
  mpv_command(handle_, stop);
  for (int waited = 0; waited < 3000; waited += 5) {
    char* output = mpv_get_property_string(handle_, "current-vo");
    if (output == nullptr) break;
    mpv_free(output);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

bool MpvVideoWindow::eventFilter(QObject* watched, QEvent* event) {
  // The native window can go before this widget does (the window it lies in is destroyed first
  // when the program ends): mpv lets go of it then.
  if (watched == windowHandle() && event->type() == QEvent::PlatformSurface &&
      static_cast<QPlatformSurfaceEvent*>(event)->surfaceEventType() ==
          QPlatformSurfaceEvent::SurfaceAboutToBeDestroyed) {
    close_output();
  }
  return QWidget::eventFilter(watched, event);
}

bool MpvVideoWindow::attach_output() {
  if (attached_) return true;
  if (handle_ == nullptr || parentWidget() == nullptr) return false;
  auto id = static_cast<int64_t>(winId());
  attached_ = mpv_set_property(handle_, "wid", MPV_FORMAT_INT64, &id) >= 0;
  if (attached_ && windowHandle() != nullptr) windowHandle()->installEventFilter(this);
  return attached_;
}

void MpvVideoWindow::release() {
  // The player destroys its handle next, which closes the video output while this window is
  // still there.
  handle_ = nullptr;
}

}  // namespace pelmora::platform::qt

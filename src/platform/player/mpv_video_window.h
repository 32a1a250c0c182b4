#pragma once

#include <QtWidgets/QWidget>

struct mpv_handle;

namespace pelmora::platform::qt {

// Shows mpv's own video output inside a native child window of the program's window (X11).
// mpv draws into a window of its own made inside this one, as it draws when it runs alone, so
// a new frame costs the program nothing: Qt neither paints nor composes its window for it. The
// player's handle is made with pointer and key input off (input-cursor, input-vo-keyboard), so
// mpv's window takes no input: presses, moves and keys over the picture pass on to this widget,
// which hands them on to its parents like any picture does.
//
// The native window is made when mpv first needs it (`attach_output`), not when the widget is
// made. A widget on top of the picture cannot cover it (the picture is a window of its own):
// whoever shows something over it hides this widget.
class MpvVideoWindow final : public QWidget {
  Q_OBJECT

 public:
  // `handle` belongs to the player, which calls `release` before it destroys the handle.
  explicit MpvVideoWindow(mpv_handle* handle, QWidget* parent = nullptr);
  ~MpvVideoWindow() override;

  // Hands mpv the native window to draw into, making it on the first call; true once mpv has
  // it. Before the widget has a parent there is nowhere to put the picture: false.
  bool attach_output();
  bool attached() const { return attached_; }

  // The player's handle, once the player has made it (the widget may be made before).
  void set_handle(mpv_handle* handle) { handle_ = handle; }

  // Ends mpv's use of the window: mpv closes its video output (the item stops) before the
  // window can go. Nothing is drawn here from then on.
  void release();

  // Nothing of this widget is painted by Qt: mpv's window covers it.
  QPaintEngine* paintEngine() const override { return nullptr; }

 protected:
  void paintEvent(QPaintEvent*) override {}
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // Has mpv close its video output and let go of the window, waiting until it has.
  void close_output();

  mpv_handle* handle_;
  bool attached_ = false;
};

}  // namespace pelmora::platform::qt

#pragma once

#include <algorithm>

#include <QtCore/QCoreApplication>
#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QCursor>
#include <QtGui/QFontMetrics>
#include <QtGui/QGuiApplication>
#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPixmap>
#include <QtGui/QRegion>
#include <QtGui/QScreen>
#include <QtGui/QWheelEvent>
#include <QtGui/QWindow>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <QtWidgets/QPushButton>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/access.h"
#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/ui/accessible_controls.h"
#include "platform/ui/control_peers.h"
#include "platform/ui/input_translation.h"
#include "platform/ui/qt_control_peer.h"
#include "platform/ui/skin_painting.h"
#include "platform/ui/window_system.h"
#include "platform/web_browser.h"

namespace pelmora::platform::qt {

// A form's top-level window: it paints the form's own cells, reports the user's resizes, moves,
// keys and mouse to the model, and applies the model's window state, limits, outline and the
// system move or resize it asks for.
class FormWindow final : public MouseWidget<QWidget> {
 public:
  FormWindow(Form& form, bool frameless) : MouseWidget(form), form_(form), frameless_(frameless) {
    if (form.owner() != nullptr) setWindowFlag(Qt::Dialog);
    setWindowFlag(Qt::FramelessWindowHint, frameless);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QApplication::instance()->installEventFilter(this);
    stillness_.setSingleShot(true);
    stillness_.setInterval(2000);
    QObject::connect(&stillness_, &QTimer::timeout, this, [this] { still(); });
    // The window itself has the keyboard when it opens and after a press on its own surface,
    // so its keys (Space, the arrows) act until the user walks into a control with Tab.
    setFocusPolicy(Qt::ClickFocus);
    setFocus(Qt::OtherFocusReason);
  }
  ~FormWindow() override { QApplication::instance()->removeEventFilter(this); }

  // Where the last press on the window's own surface was, on the screen: a move or resize that
  // the window carries out itself follows the pointer from there.
  QPoint press_point() const { return press_point_; }

  bool syncing = false;
  // The window of the form this one is a dialog of, found when it first shows.
  QPointer<QWidget> owner_window;
  std::function<QWidget*()> find_owner;

  // A dialog that comes up opens centred on its owner, above it, and takes the keyboard (also
  // where no window manager hands it the focus).
  void show_as_dialog() {
    if (owner_window == nullptr && find_owner) owner_window = find_owner();
    if (owner_window != nullptr) {
      winId();
      if (QWindow* handle = windowHandle()) {
        handle->setTransientParent(owner_window->window()->windowHandle());
      }
      const QRect over = owner_window->geometry();
      move(over.x() + (over.width() - width()) / 2, over.y() + (over.height() - height()) / 2);
      // The form keeps the place, so a later change of its size leaves the dialog there.
      const int twips = form_.twips_per_pixel();
      form_.move(x() * twips, y() * twips, form_.width(), form_.height());
    }
    show();
    raise();
    activateWindow();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), color_of(form_.back_color()));
    paint_cells(painter, form_, form_.cells());
  }
  void mousePressEvent(QMouseEvent* event) override {
    press_point_ = event->globalPosition().toPoint();
    MouseWidget::mousePressEvent(event);
  }
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    if (full_screen_box_ != nullptr) {
      full_screen_box_->setGeometry(rect());
      return;
    }
    apply_outline();
    if (syncing) return;
    size_form_to_window();
  }
  // The form takes the window's size and lays itself out for it.
  void size_form_to_window() {
    const int twips = form_.twips_per_pixel();
    syncing = true;
    form_.move(form_.left(), form_.top(), width() * twips, height() * twips);
    syncing = false;
    form_.raise_resize();
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    if (syncing || full_screen_box_ != nullptr || form_.window_state() != WindowState::kNormal) {
      return;
    }
    const int twips = form_.twips_per_pixel();
    syncing = true;
    form_.move(x() * twips, y() * twips, form_.width(), form_.height());
    syncing = false;
  }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (form_.on_close_request) {
      form_.on_close_request();
    } else {
      form_.unload();
    }
  }
  // The pointer left the window: a control holding the capture sees it go, as it would see
  // any move outside itself.
  void leaveEvent(QEvent* event) override {
    QWidget::leaveEvent(event);
    tell_capture_holder(mapFromGlobal(QCursor::pos()));
  }
  void changeEvent(QEvent* event) override {
    QWidget::changeEvent(event);
    // A modal window (a question, the file dialog) now takes the input: a control holding the
    // capture lets go, and its hover look goes with it.
    if (event->type() == QEvent::WindowBlocked) tell_capture_holder(QPoint(-1, -1));
    if (event->type() != QEvent::WindowStateChange || syncing || full_screen_box_ != nullptr) {
      return;
    }
    // Without a window manager only the program changes the window's state; what the toolkit
    // reports then is its own guess.
    if (!window_system::manages_windows()) return;
    const WindowState state = isMinimized()   ? WindowState::kMinimized
                              : isMaximized() ? WindowState::kMaximized
                                              : WindowState::kNormal;
    if (state == form_.window_state()) return;
    syncing = true;
    form_.set_window_state(state);
    syncing = false;
    form_.raise_resize();
  }
  // The video box shown over the whole screen, and where it came from.
  QWidget* full_screen_box_ = nullptr;
  QPointer<QWidget> box_home_;
  QRect box_geometry_;
  QRect normal_geometry_;
  QRect unmanaged_normal_;
  QPoint press_point_;
  // Where the lent bar lives in the window's own layout.
  QPointer<QWidget> bar_home_;
  QRect bar_geometry_;
  QPoint bar_home_origin_;
  QTimer stillness_;

 public:
  // Called when the user leaves full screen (Escape, or a double click on the picture).
  std::function<void()> on_full_screen_left;
  bool video_full_screen() const { return full_screen_box_ != nullptr; }
  // Shows `box` (the player's picture) over the whole screen in this window.
  void show_full_screen(QWidget* box) {
    if (full_screen_box_ != nullptr || box == nullptr) return;
    full_screen_box_ = box;
    box_home_ = box->parentWidget();
    box_geometry_ = box->geometry();
    normal_geometry_ = geometry();
    box->setParent(this);
    box->setGeometry(rect());
    box->show();
    box->raise();
    syncing = true;
    clearMask();
    showFullScreen();
    // Without a window manager nobody else makes the window cover the screen. (Where one does,
    // a size given now would be taken for the window's normal size.)
    if (QScreen* shown_on = screen(); shown_on != nullptr && !window_system::manages_windows()) {
      setGeometry(shown_on->geometry());
    }
    syncing = false;
    box->setGeometry(rect());
    setFocus(Qt::OtherFocusReason);
    stillness_.start();
  }

  // The bar lent to the full-screen picture, where it would be in the window's own layout.
  QPoint bar_point(const QWidget* widget, const QPoint& at) const {
    if (!bar_lent() || (widget != full_screen_bar && !full_screen_bar->isAncestorOf(widget))) {
      return widget->mapTo(this, at);
    }
    return widget->mapTo(full_screen_bar.data(), at) + bar_home_origin_;
  }
  QPointer<QWidget> full_screen_bar;
  // Puts the box back and the window in the state the form holds.
  void end_full_screen() {
    QWidget* box = full_screen_box_;
    if (box == nullptr) return;
    stillness_.stop();
    take_bar_back();
    box->unsetCursor();
    full_screen_box_ = nullptr;
    box->setParent(box_home_);
    box->setGeometry(box_geometry_);
    box->show();
    syncing = true;
    if (form_.window_state() == WindowState::kMaximized) {
      if (window_system::manages_windows()) {
        showMaximized();
      } else {
        showNormal();
        cover_work_area();
      }
    } else {
      showNormal();
      setGeometry(normal_geometry_);
    }
    syncing = false;
    apply_outline();
    // The window is back at its own size: lay it out for that size again.
    size_form_to_window();
  }

  // Without a window manager a maximised window covers the work area by the program's own
  // hand, and the normal place and size it had come back when it is restored.
  void cover_work_area() {
    if (QScreen* shown_on = screen()) resize_as_user(shown_on->availableGeometry());
  }
  void keep_normal_geometry() { unmanaged_normal_ = geometry(); }
  bool unmanaged_maximized = false;
  void restore_normal_geometry() {
    if (unmanaged_normal_.isValid()) resize_as_user(unmanaged_normal_);
  }
  // The form follows this change of size as it follows the user's.
  void resize_as_user(const QRect& frame) {
    const bool was_syncing = syncing;
    syncing = false;
    setGeometry(frame);
    syncing = was_syncing;
  }

 protected:
  bool bar_lent() const { return full_screen_bar != nullptr && bar_home_ != nullptr; }
  // The bar comes up over the bottom of the picture, centred, at its own size.
  void lend_bar() {
    if (bar_lent() || full_screen_bar == nullptr || full_screen_bar->parentWidget() == nullptr) {
      return;
    }
    QWidget* bar = full_screen_bar;
    bar_home_ = bar->parentWidget();
    bar_geometry_ = bar->geometry();
    bar_home_origin_ = bar_home_->mapTo(this, bar_geometry_.topLeft());
    const QRect place((width() - bar_geometry_.width()) / 2, height() - bar_geometry_.height(),
                      bar_geometry_.width(), bar_geometry_.height());
    bar->setParent(this);
    bar->setGeometry(place);
    bar->show();
    bar->raise();
    leave_bar_place_out(true);
  }
  // A picture drawn into a window of its own covers whatever the window paints there: the
  // picture's windows leave the bar's place out while the bar is lent (and take it back after).
  void leave_bar_place_out(bool out) {
    if (full_screen_box_ == nullptr || full_screen_bar == nullptr) return;
    QList<QWidget*> pictures = full_screen_box_->findChildren<QWidget*>();
    pictures.prepend(full_screen_box_);
    for (QWidget* picture : pictures) {
      if (picture->internalWinId() == 0) continue;
      if (!out) {
        picture->clearMask();
        continue;
      }
      const QRect bar_place(picture->mapFrom(this, full_screen_bar->pos()),
                            full_screen_bar->size());
      picture->setMask(QRegion(picture->rect()).subtracted(bar_place));
    }
  }
  void take_bar_back() {
    if (!bar_lent()) return;
    // A control of the bar that holds the pointer lets go: the pointer is no longer over it.
    tell_capture_holder(QPoint(-1, -1));
    leave_bar_place_out(false);
    QWidget* bar = full_screen_bar;
    bar->setParent(bar_home_);
    bar->setGeometry(bar_geometry_);
    bar->show();
    bar_home_ = nullptr;
  }
  // Two seconds without a move: the bar goes, and the pointer hides over the picture.
  void still() {
    if (full_screen_box_ == nullptr) return;
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
      stillness_.start();
      return;
    }
    take_bar_back();
    full_screen_box_->setCursor(Qt::BlankCursor);
  }
  // A move or a click shows the pointer again; at the bottom of the screen it brings the bar up.
  void moved_in_full_screen(const QPoint& global) {
    full_screen_box_->unsetCursor();
    stillness_.start();
    const QPoint at = mapFromGlobal(global);
    const int reach = full_screen_bar != nullptr ? 2 * full_screen_bar->height() : 0;
    if (at.y() >= height() - reach) lend_bar();
  }
  bool over_bar(const QMouseEvent* mouse) const {
    if (!bar_lent()) return false;
    QWidget* under = QApplication::widgetAt(mouse->globalPosition().toPoint());
    return under != nullptr && (under == full_screen_bar || full_screen_bar->isAncestorOf(under));
  }

  // Escape or a double click on the picture leaves full screen; the picture takes no other
  // mouse input while it fills the screen, the lent bar takes its own.
  bool full_screen_input(QObject* watched, QEvent* event) {
    if (full_screen_box_ == nullptr) return false;
    const bool pointer_input = event->type() == QEvent::MouseMove ||
                               event->type() == QEvent::MouseButtonPress ||
                               event->type() == QEvent::MouseButtonRelease;
    if (pointer_input && over_this_window(static_cast<QMouseEvent*>(event))) {
      moved_in_full_screen(static_cast<QMouseEvent*>(event)->globalPosition().toPoint());
    }
    switch (event->type()) {
      case QEvent::KeyPress: {
        // A key for this window (the toolkit may not count the window active after it was
        // hidden and shown again, while the keys come to it all the same).
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape || widget == nullptr ||
            widget->window() != this) {
          return false;
        }
        break;
      }
      case QEvent::MouseButtonDblClick:
        if (!over_this_window(static_cast<QMouseEvent*>(event))) return false;
        if (over_bar(static_cast<QMouseEvent*>(event))) return false;
        break;
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseMove: {
        const auto* mouse = static_cast<const QMouseEvent*>(event);
        if (over_bar(mouse)) return false;
        return over_this_window(mouse);
      }
      default:
        return false;
    }
    if (on_full_screen_left) {
      on_full_screen_left();
    } else {
      end_full_screen();
    }
    return true;
  }

  bool over_this_window(const QMouseEvent* mouse) const {
    QWidget* under = QApplication::widgetAt(mouse->globalPosition().toPoint());
    return under != nullptr && under->window() == this;
  }

  // A move at `at` (window pixels) for the control holding the capture, if any.
  void tell_capture_holder(const QPoint& at) {
    if (form_.captured() == nullptr) return;
    form_.pointer().move(at.x(), at.y(), held_of(QGuiApplication::mouseButtons()));
  }
  // Key preview: the form sees keys before the focused control of its window. Moves over the
  // widgets that take their own mouse input (browser panes, the text box, the video) reach a
  // control that holds the capture, as the capture takes every move of the window.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (full_screen_input(watched, event)) return true;
    if (event->type() == QEvent::MouseButtonPress) {
      // A move the window carries out itself starts from a press on any of its controls too.
      auto* widget = qobject_cast<QWidget*>(watched);
      if (widget != nullptr && widget->window() == this) {
        press_point_ = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
      }
    }
    if (event->type() == QEvent::MouseMove && form_.captured() != nullptr) {
      // The receiver may be one of the browser engine's own objects: the widget is found by the
      // event's place instead.
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const QPoint global = mouse->globalPosition().toPoint();
      QWidget* under = QApplication::widgetAt(global);
      if (under != nullptr && under->window() == this &&
          !under->property(kRoutedProperty).toBool()) {
        tell_capture_holder(mapFromGlobal(global));
      }
      return false;
    }
    if (event->type() == QEvent::MouseButtonPress) {
      auto* pressed = qobject_cast<QWidget*>(watched);
      if (pressed != nullptr && pressed->window() == this) {
        setProperty(kKeyboardWalkProperty, false);
      }
      return false;
    }
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this) return false;
    if (!widget->isWindow() && widget != QApplication::focusWidget()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (event->type() == QEvent::KeyPress &&
        (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
      setProperty(kKeyboardWalkProperty, true);
    }
    if (!form_.key_preview()) return false;
    const int code = key_code_of(key);
    // A held key repeats its key-down only where the form asks for it (a held arrow seeks or
    // steps the volume on; a held Space must not toggle pause again and again).
    if (code == 0 || (key->isAutoRepeat() &&
                      (event->type() == QEvent::KeyRelease || !form_.key_repeats(code)))) {
      return false;
    }
    // A focused control's own keys are the control's (Space presses it instead of playing).
    if (const Control* focused = control_of(QApplication::focusWidget());
        focused != nullptr && access::takes_key(*focused, code)) {
      return false;
    }
    if (event->type() == QEvent::KeyPress) {
      form_.raise_key_down(code, shift_of(key));
    } else {
      form_.raise_key_up(code, shift_of(key));
    }
    return false;
  }

 public:
  void apply_outline() {
    if (!form_.regions().empty()) {
      setMask(QRegion(rect_of(form_.regions().back())));
    } else if (frameless_ && form_.rounded_corner() > 0 && !isMaximized()) {
      QPainterPath path;
      path.addRoundedRect(QRectF(rect()), form_.rounded_corner(), form_.rounded_corner());
      setMask(QRegion(path.toFillPolygon().toPolygon()));
    } else {
      clearMask();
    }
  }

 private:
  Form& form_;
  bool frameless_;
};

}  // namespace pelmora::platform::qt

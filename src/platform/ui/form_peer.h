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
#include "platform/ui/form_window.h"
#include "platform/ui/qt_control_peer.h"
#include "platform/ui/window_system.h"
#include "platform/web_browser.h"

namespace pelmora::platform::qt {

class FormPeer final : public QtControlPeer {
 public:
  FormPeer(Form& form, bool frameless)
      : QtControlPeer(form, new FormWindow(form, frameless)), form_(form) {}
  ~FormPeer() override { delete widget(); }

  FormWindow* window() const { return static_cast<FormWindow*>(widget()); }

  void changed(Control& control, Property what) override {
    // The form's visibility is its shown state, applied with the window state.
    if (what == Property::kVisible) what = Property::kWindowState;
    QtControlPeer::changed(control, what);
  }

 protected:
  void apply_geometry() override {
    if (window()->syncing || window()->video_full_screen() ||
        form_.window_state() != WindowState::kNormal) {
      return;
    }
    const int twips = form_.twips_per_pixel();
    window()->syncing = true;
    window()->setGeometry(form_.left() / twips, form_.top() / twips, form_.width() / twips,
                          form_.height() / twips);
    window()->syncing = false;
  }
  void changed_own(Property what) override {
    FormWindow* win = window();
    switch (what) {
      case Property::kCaption:
        win->setWindowTitle(QString::fromStdString(form_.caption()));
        break;
      case Property::kPicture:
      case Property::kColors:
        win->update();
        break;
      case Property::kWindowState:
        apply_window_state();
        break;
      default:
        break;
    }
  }

 private:
  void apply_window_state() {
    FormWindow* win = window();
    if (win->syncing) return;
    // Full screen keeps the window as it is until it ends; then the form's state is applied.
    if (win->video_full_screen() && form_.shown() &&
        form_.window_state() != WindowState::kMinimized) {
      return;
    }
    if (win->video_full_screen()) win->end_full_screen();
    win->syncing = true;
    const WindowLimits& limits = form_.window_limits();
    win->setMinimumSize(limits.min_width, limits.min_height);
    win->setMaximumSize(limits.max_width > 0 ? limits.max_width : QWIDGETSIZE_MAX,
                        limits.max_height > 0 ? limits.max_height : QWIDGETSIZE_MAX);
    if (!window_system::keeps_windows_on_top()) {
      // No "keep above" there, and a changed flag would make a new window that the compositor
      // places elsewhere: the window stays as it is.
    } else if (win->testAttribute(Qt::WA_WState_Created) && win->windowHandle() != nullptr &&
               win->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != form_.top_most()) {
      // Told to the window that is there: a changed flag would otherwise make a new window,
      // without the player's picture window that was inside the old one.
      Qt::WindowFlags flags = win->windowFlags();
      flags.setFlag(Qt::WindowStaysOnTopHint, form_.top_most());
      win->overrideWindowFlags(flags);
      win->windowHandle()->setFlags(flags);
    } else {
      win->setWindowFlag(Qt::WindowStaysOnTopHint, form_.top_most());
    }
    const bool managed = window_system::manages_windows();
    if (!form_.shown()) {
      win->hide();
    } else {
      switch (form_.window_state()) {
        case WindowState::kMinimized:
          win->showMinimized();
          break;
        case WindowState::kMaximized:
          if (managed) {
            win->showMaximized();
            break;
          }
          // Nobody else maximises here: the window covers the work area itself.
          if (!win->unmanaged_maximized) win->keep_normal_geometry();
          win->unmanaged_maximized = true;
          win->show();
          win->cover_work_area();
          break;
        case WindowState::kNormal:
          if (form_.owner() != nullptr && !win->isVisible()) {
            win->show_as_dialog();
            break;
          }
          if (win->unmanaged_maximized) {
            win->unmanaged_maximized = false;
            win->show();
            win->restore_normal_geometry();
            break;
          }
          // Whatever state the toolkit still holds (maximised, full screen, minimised), the
          // window shows normal: the form's state is the one state of the window.
          if (win->isMinimized() || win->isMaximized() || win->isFullScreen()) {
            win->showNormal();
          } else if (!win->isVisible()) {
            // Shown again (a later start handed its work over): to the front, with the keys.
            win->show();
            win->raise();
            win->activateWindow();
          } else {
            win->show();
          }
          break;
      }
    }
    win->syncing = false;
    win->apply_outline();
    start_requested_drag();
  }

  // A move or resize the model asked the window system for; the end is noticed when the mouse
  // buttons are all up again.
  void start_requested_drag() {
    if (!form_.system_drag_active() || drag_running_ || form_.system_drags().empty()) return;
    QWindow* handle = window()->windowHandle();
    if (handle == nullptr) {
      form_.end_system_drag();
      return;
    }
    drag_running_ = true;
    const SystemDrag& drag = form_.system_drags().back();
    Qt::Edges edges;
    bool by_system = false;
    if (drag.kind == SystemDrag::Kind::kMove) {
      by_system = handle->startSystemMove();
    } else {
      switch (drag.edge) {
        case WindowEdge::kLeft:
          edges = Qt::LeftEdge;
          break;
        case WindowEdge::kTop:
          edges = Qt::TopEdge;
          break;
        case WindowEdge::kRight:
          edges = Qt::RightEdge;
          break;
        case WindowEdge::kBottom:
          edges = Qt::BottomEdge;
          break;
        case WindowEdge::kTopLeft:
          edges = Qt::TopEdge | Qt::LeftEdge;
          break;
        case WindowEdge::kTopRight:
          edges = Qt::TopEdge | Qt::RightEdge;
          break;
        case WindowEdge::kBottomLeft:
          edges = Qt::BottomEdge | Qt::LeftEdge;
          break;
        case WindowEdge::kBottomRight:
          edges = Qt::BottomEdge | Qt::RightEdge;
          break;
      }
      by_system = handle->startSystemResize(edges);
    }
    // Without a window manager that moves windows, the window follows the pointer itself until
    // the button is let go.
    const QPoint start_cursor = window()->press_point();
    const QRect start_frame = window()->geometry();
    auto* watch = new QTimer(window());
    QObject::connect(watch, &QTimer::timeout,
                     [this, watch, by_system, edges, start_cursor, start_frame] {
                       if (!by_system)
                         follow_pointer(edges, QCursor::pos() - start_cursor, start_frame);
                       if (QGuiApplication::mouseButtons() != Qt::NoButton) return;
                       watch->deleteLater();
                       drag_running_ = false;
                       form_.end_system_drag();
                     });
    watch->start(16);
  }

  // Moves the window by `delta` from `start` (no edges), or moves the given edges by it,
  // within the window's size limits.
  void follow_pointer(Qt::Edges edges, const QPoint& delta, const QRect& start) {
    FormWindow* win = window();
    if (edges == Qt::Edges()) {
      win->move(start.topLeft() + delta);
      return;
    }
    QRect frame = start;
    const QSize least = win->minimumSize();
    const QSize most = win->maximumSize();
    if (edges & Qt::LeftEdge) {
      const int width = std::clamp(start.width() - delta.x(), least.width(), most.width());
      frame.setLeft(start.right() + 1 - width);
    }
    if (edges & Qt::RightEdge) {
      frame.setWidth(std::clamp(start.width() + delta.x(), least.width(), most.width()));
    }
    if (edges & Qt::TopEdge) {
      const int height = std::clamp(start.height() - delta.y(), least.height(), most.height());
      frame.setTop(start.bottom() + 1 - height);
    }
    if (edges & Qt::BottomEdge) {
      frame.setHeight(std::clamp(start.height() + delta.y(), least.height(), most.height()));
    }
    if (frame != win->geometry()) win->setGeometry(frame);
  }

  Form& form_;
  bool drag_running_ = false;
};

}  // namespace pelmora::platform::qt

#pragma once

// The widget peers of the model's controls: picture boxes (one may host the player's video),
// labels, text boxes, check boxes, command buttons, and timers on Qt timers.
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

#include "platform/ui/input_translation.h"
#include "platform/ui/qt_control_peer.h"
#include "platform/ui/skin_painting.h"

namespace pelmora::platform::qt {

// A video picture drawn by the player into a native window of its own (rather than by Qt).
bool is_native_video(const QWidget* video);

// A picture box: its back colour, its own picture and the cells drawn into it.
class SurfaceWidget final : public MouseWidget<QWidget> {
 public:
  SurfaceWidget(PictureBox& model, const Form& form)
      : MouseWidget(model), box_(model), form_(form) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
  }
  // The player's video fills the box.
  void host(QWidget* video) {
    video_ = video;
    video_->setParent(this);
    // The picture takes no mouse input of its own: it reaches the form's pointer through the box
    // (a native video window passes what it is sent on to the box).
    if (!is_native_video(video_)) video_->setAttribute(Qt::WA_TransparentForMouseEvents);
    video_->setGeometry(rect());
    video_->show();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), color_of(box_.back_color()));
    if (!box_.picture().empty()) {
      const QPixmap& own = picture_pixmap(box_.picture());
      if (!own.isNull()) painter.drawPixmap(0, 0, own);
    }
    paint_cells(painter, form_, box_.cells());
    paint_focus(painter);
  }
  void resizeEvent(QResizeEvent* event) override {
    if (video_ != nullptr) video_->setGeometry(rect());
    QWidget::resizeEvent(event);
  }

 private:
  PictureBox& box_;
  const Form& form_;
  QWidget* video_ = nullptr;
};

class SurfacePeer final : public QtControlPeer {
 public:
  SurfacePeer(PictureBox& model, const Form& form, QWidget* parent)
      : QtControlPeer(model, new SurfaceWidget(model, form)), box_(model) {
    widget()->setParent(parent);
  }
  SurfaceWidget* surface() const { return static_cast<SurfaceWidget*>(widget()); }

  // The box hosts the player's video. A video drawn by Qt (the render API) has its drawing
  // context only once its widget has been on screen, and the player cannot start an item without
  // it, while the program shows the video only once an item plays. So a hidden box with such a
  // video stays on screen as one pixel in its container's corner, beneath its siblings, instead
  // of being hidden. A native video window needs no such help, and could not lie beneath
  // anything: it is hidden with its box, so whatever the program shows in its place is seen.
  void host_video(QWidget* video) {
    surface()->host(video);
    hosts_video_ = !is_native_video(video);
    changed(box_, Property::kVisible);
  }

  // While the picture shows over the whole screen the box is the full-screen window's, not the
  // model's: its place is given back when full screen ends.
  void set_detached(bool detached) { detached_ = detached; }
  bool hosts_video() const { return hosts_video_; }

  void changed(Control& control, Property what) override {
    if (detached_ && (what == Property::kVisible || what == Property::kGeometry)) return;
    if (hosts_video_ && (what == Property::kVisible || what == Property::kGeometry)) {
      widget()->setVisible(true);
      if (box_.visible()) {
        apply_geometry();
        widget()->raise();
      } else {
        widget()->setGeometry(0, 0, 1, 1);
        widget()->lower();
      }
      return;
    }
    QtControlPeer::changed(control, what);
  }

 protected:
  void changed_own(Property what) override {
    // The capture is the form's pointer's to keep (it routes every event of the window to the
    // holder); a toolkit grab would also keep the mouse from modal windows and popups.
    if (what == Property::kPicture || what == Property::kColors) widget()->update();
  }

 private:
  PictureBox& box_;
  bool hosts_video_ = false;
  bool detached_ = false;
};

// The font of every label: the application's family at 12 pixels.
QFont label_font();

// The peer of a label, text box, check box, command button or timer inside `window`; null for
// any other kind of control.
std::unique_ptr<ControlPeer> make_control_peer(Control& control, QWidget* window);

}  // namespace pelmora::platform::qt

#pragma once

// The toolkit's input in the model's terms: buttons, keys and shift states, the walk of the
// focus, and the mouse of pictures, labels and forms routed to the form's pointer.
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
#include "platform/form.h"
#include "platform/pointer.h"
#include "platform/ui/skin_painting.h"

namespace pelmora::platform::qt {

MouseButton button_of(Qt::MouseButton button);
// Every button held, as the toolkit's mouse move reports them.
MouseButton held_of(Qt::MouseButtons buttons);
// Key codes as the program knows them (virtual-key codes).
int key_code_of(const QKeyEvent* event);
int shift_of(const QInputEvent* event);
// The form a control belongs to (a form is its own).
Form& form_of(Control& control);

// Marks a widget whose mouse input goes to its form's pointer (see MouseWidget).
inline constexpr char kRoutedProperty[] = "pelmora_routed";
// Set on a form's window while the user walks its controls with the Tab key, cleared by a mouse
// press: only then may the focus come to a control by itself (see takes_walking_focus).
inline constexpr char kKeyboardWalkProperty[] = "pelmora_keyboard_walk";

// A control with a role takes the focus by the Tab key. When the focus moves on by itself (the
// control that had it was hidden: a pane that a click on one of its links took off screen), it
// stays with the window unless the user is walking with the Tab key: a person using the mouse
// keeps Space for play and pause instead of finding it pressing whatever control came next.
bool takes_walking_focus(QWidget* widget, const QFocusEvent* event);

// A point of a widget in its form window's pixels, as the form's model lays the window out (a
// bar lent to the full-screen picture keeps the place it has in the model).
QPoint form_point(const QWidget* widget, const QPoint& at);

// Mouse input on a picture box, a label or a form's own surface goes to the form's pointer, in
// the form window's pixels, which picks the control by the model's geometry, capture and
// enabled state. The event stops here: it never travels on to the containing widgets, so a press
// on a control never reaches the form's surface.
template <typename Base>
class MouseWidget : public Base {
 public:
  template <typename... Args>
  explicit MouseWidget(Control& model, Args&&... args)
      : Base(std::forward<Args>(args)...), routed_model_(model), routed_form_(form_of(model)) {
    this->setMouseTracking(true);
    this->setProperty(kRoutedProperty, true);
  }

 protected:
  // A focused control acts on its own keys (Space and Enter press, the arrows move a bar or
  // switch tabs); the window's key preview leaves those keys to it.
  void keyPressEvent(QKeyEvent* event) override {
    if (access::handle_key(routed_model_, key_code_of(event))) {
      event->accept();
      return;
    }
    Base::keyPressEvent(event);
  }
  void focusInEvent(QFocusEvent* event) override {
    if (!takes_walking_focus(this, event)) return;
    Base::focusInEvent(event);
  }
  void paint_focus(QPainter& painter) const {
    if (this->hasFocus()) paint_focus_mark(painter, *this, routed_form_.focus_mark_color());
  }
  void mousePressEvent(QMouseEvent* event) override {
    event->accept();
    take_focus_from_text();
    const QPoint at = place(event);
    routed_form_.pointer().press(at.x(), at.y(), button_of(event->button()), shift_of(event));
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    event->accept();
    const QPoint at = place(event);
    routed_form_.pointer().move(at.x(), at.y(), held_of(event->buttons()), shift_of(event));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    event->accept();
    const QPoint at = place(event);
    routed_form_.pointer().release(at.x(), at.y(), button_of(event->button()), shift_of(event));
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    event->accept();
    const QPoint at = place(event);
    routed_form_.pointer().double_click(at.x(), at.y(), button_of(event->button()),
                                        shift_of(event));
  }
  void wheelEvent(QWheelEvent* event) override {
    event->accept();
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    // The picture over the whole screen lies outside the form's layout: its own control (or the
    // nearest container with a wheel handler) takes the wheel.
    if (this->window()->isFullScreen()) {
      for (Control* control = &routed_model_; control != nullptr; control = control->container()) {
        if (control->on_wheel) {
          control->raise_wheel(delta);
          return;
        }
      }
      return;
    }
    const QPoint at = this->mapTo(this->window(), event->position().toPoint());
    routed_form_.pointer().wheel(at.x(), at.y(), delta);
  }

  // A press on the window's own controls takes the keyboard away from a text box, as clicking a
  // picture box does: the keys then go to the window (its shortcuts) instead of into the text.
  void take_focus_from_text() {
    QWidget* top = this->window();
    QWidget* focused = QApplication::focusWidget();
    if (focused != nullptr && focused->window() == top && qobject_cast<QLineEdit*>(focused)) {
      top->setFocus(Qt::MouseFocusReason);
    }
  }

  QPoint place(const QMouseEvent* event) const {
    return form_point(this, event->position().toPoint());
  }

  Control& routed_model_;
  Form& routed_form_;
};

}  // namespace pelmora::platform::qt

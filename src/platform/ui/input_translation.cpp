#include "platform/ui/input_translation.h"

#include "platform/key_codes.h"

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

namespace pelmora::platform::qt {

MouseButton button_of(Qt::MouseButton button) {
  switch (button) {
    case Qt::LeftButton:
      return MouseButton::kLeft;
    case Qt::RightButton:
      return MouseButton::kRight;
    case Qt::MiddleButton:
      return MouseButton::kMiddle;
    default:
      return MouseButton::kNone;
  }
}

// Every button held, as the toolkit's mouse move reports them.
MouseButton held_of(Qt::MouseButtons buttons) {
  return static_cast<MouseButton>(((buttons & Qt::LeftButton) ? 1 : 0) |
                                  ((buttons & Qt::RightButton) ? 2 : 0) |
                                  ((buttons & Qt::MiddleButton) ? 4 : 0));
}

// Key codes as the program knows them (virtual-key codes).
int key_code_of(const QKeyEvent* event) {
  const int key = event->key();
  switch (key) {
    case Qt::Key_Space:
      return keys::kSpace;
    case Qt::Key_Left:
      return keys::kLeft;
    case Qt::Key_Up:
      return keys::kUp;
    case Qt::Key_Right:
      return keys::kRight;
    case Qt::Key_Down:
      return keys::kDown;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return keys::kReturn;
    case Qt::Key_Escape:
      return keys::kEscape;
    case Qt::Key_Backspace:
      return keys::kBackspace;
    case Qt::Key_Tab:
      return keys::kTab;
    case Qt::Key_Delete:
      return keys::kDelete;
    default:
      break;
  }
  if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) return key;
  return 0;
}

int shift_of(const QInputEvent* event) {
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  return ((modifiers & Qt::ShiftModifier) ? 1 : 0) | ((modifiers & Qt::ControlModifier) ? 2 : 0) |
         ((modifiers & Qt::AltModifier) ? 4 : 0);
}

// The form a control belongs to (a form is its own).
Form& form_of(Control& control) {
  if (auto* form = dynamic_cast<Form*>(&control)) return *form;
  return *control.form();
}

// A control with a role takes the focus by the Tab key. When the focus moves on by itself (the
// control that had it was hidden: a pane that a click on one of its links took off screen), it
// stays with the window unless the user is walking with the Tab key: a person using the mouse
// keeps Space for play and pause instead of finding it pressing whatever control came next.
bool takes_walking_focus(QWidget* widget, const QFocusEvent* event) {
  const bool by_tab =
      event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason;
  if (!by_tab || widget->window()->property(kKeyboardWalkProperty).toBool()) return true;
  widget->window()->setFocus(Qt::OtherFocusReason);
  return false;
}

}  // namespace pelmora::platform::qt

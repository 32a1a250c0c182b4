#include "platform/ui/qt_control_peer.h"

#include <QtGui/QCursor>
#include <QtWidgets/QApplication>

#include "platform/ui/accessible_controls.h"

namespace pelmora::platform::qt {

namespace {

Qt::CursorShape shape_of(Cursor cursor) {
  switch (cursor) {
    case Cursor::kDefault:
    case Cursor::kArrow:
      return Qt::ArrowCursor;
    case Cursor::kHand:
      return Qt::PointingHandCursor;
    case Cursor::kSizeWE:
      return Qt::SizeHorCursor;
    case Cursor::kSizeNS:
      return Qt::SizeVerCursor;
    case Cursor::kSizeNWSE:
      return Qt::SizeFDiagCursor;
    case Cursor::kSizeNESW:
      return Qt::SizeBDiagCursor;
    case Cursor::kSizeAll:
      return Qt::SizeAllCursor;
  }
  return Qt::ArrowCursor;
}

}  // namespace

QtControlPeer::QtControlPeer(Control& model, QWidget* widget) : model_(model), widget_(widget) {
  model_.attach_peer(this);
  if (widget_ != nullptr) mark_control(widget_, model_);
}

QtControlPeer::~QtControlPeer() {
  if (model_alive_ && model_.peer() == this) model_.attach_peer(nullptr);
}

void QtControlPeer::sync_all() {
  for (Property what :
       {Property::kGeometry, Property::kVisible, Property::kEnabled, Property::kToolTip,
        Property::kCursor, Property::kCaption, Property::kColors, Property::kText, Property::kValue,
        Property::kPicture, Property::kAccess}) {
    changed(model_, what);
  }
}

void QtControlPeer::changed(Control&, Property what) {
  if (widget_ == nullptr) return;
  switch (what) {
    case Property::kGeometry:
      apply_geometry();
      break;
    case Property::kVisible:
      if (!model_.visible()) {
        // Hidden with the keyboard focus inside, Qt would hand the focus to whatever control
        // comes next (a catalogue pane taken off screen by a click on its episode gave it to the
        // compact-mode button, and Space then opened compact mode): it goes to the window.
        QWidget* focused = QApplication::focusWidget();
        if (focused != nullptr && (focused == widget_ || widget_->isAncestorOf(focused))) {
          widget_->window()->setFocus(Qt::OtherFocusReason);
        }
      }
      widget_->setVisible(model_.visible());
      break;
    case Property::kEnabled:
      // The selected tab takes no click (the model ignores it), yet the keyboard still reaches
      // it and a screen reader reads it as selected rather than unavailable.
      widget_->setEnabled(model_.enabled() || model_.access_role() == AccessRole::kPageTab);
      break;
    case Property::kToolTip:
      // The hover label shows the tips the program wants seen; the toolkit's own tooltip would
      // show every state text (tooltips are state here), so it stays empty. A screen reader
      // reads the tip as the control's name, and hears of its change (播放 becomes 暂停).
      announce(widget_, model_, what);
      break;
    case Property::kCaption:
      announce(widget_, model_, what);
      break;
    case Property::kAccess:
      apply_access();
      announce(widget_, model_, what);
      break;
    case Property::kCursor:
      widget_->setCursor(shape_of(model_.cursor()));
      break;
    case Property::kZOrder:
      widget_->raise();
      break;
    case Property::kFocus:
      widget_->setFocus();
      break;
    default:
      break;
  }
  changed_own(what);
}

void QtControlPeer::released(Control&) {
  model_alive_ = false;
  if (widget_ != nullptr) forget_control(widget_);
}

void QtControlPeer::apply_access() {
  // A control with a role is reached by the Tab key; a mouse press leaves the keyboard with the
  // window (its shortcuts), as before.
  if (model_.access_role() != AccessRole::kNone) {
    widget_->setFocusPolicy(Qt::TabFocus);
    widget_->setEnabled(model_.enabled() || model_.access_role() == AccessRole::kPageTab);
  } else if (!model_.own_access_name().empty()) {
    // A text box or a pane is named by the name it was given (the toolkit reads its kind).
    widget_->setAccessibleName(QString::fromStdString(model_.own_access_name()));
  }
}

void QtControlPeer::apply_geometry() {
  const Rect& rect = model_.rect();
  widget_->setGeometry(rect.left, rect.top, rect.width, rect.height);
}

}  // namespace pelmora::platform::qt

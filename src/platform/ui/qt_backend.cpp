#include "platform/ui/qt_backend.h"

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
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <QtWidgets/QPushButton>

#include "platform/access.h"
#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/ui/accessible_controls.h"
#include "platform/ui/qt_control_peer.h"
#include "platform/ui/window_system.h"
#include "platform/web_browser.h"

namespace pelmora::platform::qt {

namespace {

QColor color_of(Color bgr) {
  return QColor(static_cast<int>(bgr & 0xFF), static_cast<int>((bgr >> 8) & 0xFF),
                static_cast<int>((bgr >> 16) & 0xFF));
}

QRect rect_of(const Rect& rect) {
  return QRect(rect.left, rect.top, rect.width, rect.height);
}

// A picture by the name the program gives it: a skin resource number ("101") or a file path.
// On a screen with more than one device pixel to a pixel the skin's bitmaps drawn at twice the
// density ("101@2x.png") are taken where the program carries them, so the chrome stays sharp.
const QPixmap& picture_pixmap(const std::string& name) {
  static std::map<std::string, QPixmap> cache;
  auto found = cache.find(name);
  if (found == cache.end()) {
    const QString resource = QString(":/resources/skin/%1").arg(QString::fromStdString(name));
    QPixmap pixmap;
    if (qApp->devicePixelRatio() > 1.0 && pixmap.load(resource + "@2x.png")) {
      pixmap.setDevicePixelRatio(2.0);
    }
    if (pixmap.isNull()) pixmap.load(resource + ".png");
    if (pixmap.isNull()) pixmap.load(QString::fromStdString(name));
    found = cache.emplace(name, pixmap).first;
  }
  return found->second;
}

// The picture box a recorded copy came from: "ppt(12)" is element 12 of the array "ppt".
const PictureBox* source_box(const Form& form, const std::string& source) {
  std::string name = source;
  int index = -1;
  if (const auto open = source.find('('); open != std::string::npos && source.back() == ')') {
    name = source.substr(0, open);
    index = std::atoi(source.c_str() + open + 1);
  }
  return dynamic_cast<const PictureBox*>(form.find(name, index));
}

void paint_cells(QPainter& painter, const Form& form, const std::vector<CellCopy>& cells) {
  for (const CellCopy& cell : cells) {
    const PictureBox* source = source_box(form, cell.source);
    if (source == nullptr || source->picture().empty()) continue;
    const QPixmap& pixmap = picture_pixmap(source->picture());
    if (pixmap.isNull()) continue;
    // The source rectangle counts the bitmap's own pixels: twice as many in a 2x bitmap.
    const qreal ratio = pixmap.devicePixelRatio();
    const QRectF from(cell.from.left * ratio, cell.from.top * ratio, cell.from.width * ratio,
                      cell.from.height * ratio);
    painter.drawPixmap(QRectF(rect_of(cell.to)), pixmap, from);
  }
}

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
      return 32;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return 13;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
      return 9;
    case Qt::Key_Delete:
      return 46;
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

// Marks a widget whose mouse input goes to its form's pointer (see MouseWidget).
constexpr char kRoutedProperty[] = "pelmora_routed";
// Set on a form's window while the user walks its controls with the Tab key, cleared by a mouse
// press: only then may the focus come to a control by itself (see takes_walking_focus).
constexpr char kKeyboardWalkProperty[] = "pelmora_keyboard_walk";

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

// The focus mark: a frame around the control in the skin's highlight colour with a light line
// inside it, so it shows on the highlighted (selected) cells too.
void paint_focus_mark(QPainter& painter, const QWidget& widget, Color color) {
  const QRect outer = widget.rect().adjusted(0, 0, -1, -1);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(color_of(color), 1));
  painter.drawRect(outer);
  if (outer.width() > 4 && outer.height() > 4) {
    painter.setPen(QPen(QColor(255, 255, 255), 1, Qt::DotLine));
    painter.drawRect(outer.adjusted(1, 1, -1, -1));
  }
}

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

// A video picture drawn by the player into a native window of its own (rather than by Qt).
bool is_native_video(const QWidget* video) {
  return video->testAttribute(Qt::WA_NativeWindow);
}

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

}  // namespace

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

namespace {

// The font of every label: the application's family at 12 pixels.
QFont label_font() {
  QFont font = QApplication::font();
  font.setPixelSize(12);
  return font;
}

class LabelWidget final : public MouseWidget<QLabel> {
 public:
  explicit LabelWidget(Label& model) : MouseWidget(model) {}

 protected:
  void paintEvent(QPaintEvent* event) override {
    QLabel::paintEvent(event);
    if (!hasFocus()) return;
    QPainter painter(this);
    paint_focus(painter);
  }
};

class LabelPeer final : public QtControlPeer {
 public:
  // A label wraps its text only when it is tall enough for two lines; one line is clipped.
  void apply_geometry() override {
    QtControlPeer::apply_geometry();
    auto* text = static_cast<QLabel*>(widget());
    text->setWordWrap(label_.height() >= 2 * text->fontMetrics().height());
  }

  LabelPeer(Label& model, QWidget* parent)
      : QtControlPeer(model, new LabelWidget(model)), label_(model) {
    widget()->setParent(parent);
    auto* text = static_cast<QLabel*>(widget());
    // Captions carry names that came from the service: never read as markup.
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    text->setFont(label_font());
  }

 protected:
  void changed_own(Property what) override {
    auto* text = static_cast<QLabel*>(widget());
    if (what == Property::kCaption) {
      QString caption = QString::fromStdString(label_.caption());
      caption.replace("\r\n", "\n");
      text->setText(caption);
    } else if (what == Property::kColors) {
      QPalette palette = text->palette();
      palette.setColor(QPalette::WindowText, color_of(label_.fore_color()));
      palette.setColor(QPalette::Window, color_of(label_.back_color()));
      text->setPalette(palette);
      text->setAutoFillBackground(!label_.transparent());
    }
  }

 private:
  Label& label_;
};

class LineEdit final : public QLineEdit {
 public:
  explicit LineEdit(TextBox& model) : model_(model) {}

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    QLineEdit::mousePressEvent(event);
    model_.raise_click();
  }
  void keyPressEvent(QKeyEvent* event) override {
    const int code = key_code_of(event);
    if (code == 13 && model_.on_key_press) {
      model_.on_key_press(13);
      return;
    }
    QLineEdit::keyPressEvent(event);
  }
  void focusInEvent(QFocusEvent* event) override {
    if (!takes_walking_focus(this, event)) return;
    QLineEdit::focusInEvent(event);
    if (model_.on_got_focus) model_.on_got_focus();
  }
  void focusOutEvent(QFocusEvent* event) override {
    QLineEdit::focusOutEvent(event);
    if (model_.on_lost_focus) model_.on_lost_focus();
  }

 private:
  TextBox& model_;
};

class TextBoxPeer final : public QtControlPeer {
 public:
  TextBoxPeer(TextBox& model, QWidget* parent)
      : QtControlPeer(model, new LineEdit(model)), box_(model) {
    widget()->setParent(parent);
    auto* edit = static_cast<QLineEdit*>(widget());
    edit->setFrame(false);
    edit->setFocusPolicy(box_.tab_stop() ? Qt::StrongFocus : Qt::ClickFocus);
    QObject::connect(edit, &QLineEdit::textEdited,
                     [this](const QString& text) { box_.set_text(text.toStdString()); });
  }

 protected:
  void changed_own(Property what) override {
    auto* edit = static_cast<QLineEdit*>(widget());
    if (what == Property::kColors) {
      QPalette palette = edit->palette();
      palette.setColor(QPalette::Base, color_of(box_.back_color()));
      palette.setColor(QPalette::Text, color_of(box_.fore_color()));
      // The prompt looks as the box's own text does.
      palette.setColor(QPalette::PlaceholderText, color_of(box_.fore_color()));
      edit->setPalette(palette);
    }
    if (what == Property::kTabStop) {
      edit->setFocusPolicy(box_.tab_stop() ? Qt::StrongFocus : Qt::ClickFocus);
    }
    if (what != Property::kText) return;
    // The prompt is the model's text, shown as the box's placeholder: it looks the same, and a
    // screen reader reads it as the hint of an empty box instead of as something typed.
    const bool prompt = !box_.hint().empty() && box_.text() == box_.hint();
    edit->setPlaceholderText(prompt ? QString::fromStdString(box_.hint()) : QString());
    const QString text = prompt ? QString() : QString::fromStdString(box_.text());
    if (edit->text() != text) edit->setText(text);
  }

 private:
  TextBox& box_;
};

class CheckBoxPeer final : public QtControlPeer {
 public:
  CheckBoxPeer(CheckBox& model, QWidget* parent)
      : QtControlPeer(model, new QCheckBox), box_(model) {
    widget()->setParent(parent);
    QObject::connect(static_cast<QCheckBox*>(widget()), &QCheckBox::toggled,
                     [this](bool checked) { box_.set_value(checked ? 1 : 0); });
  }

 protected:
  void changed_own(Property what) override {
    auto* check = static_cast<QCheckBox*>(widget());
    if (what == Property::kCaption) check->setText(QString::fromStdString(box_.caption()));
    if (what == Property::kValue && check->isChecked() != (box_.value() != 0)) {
      check->setChecked(box_.value() != 0);
    }
  }

 private:
  CheckBox& box_;
};

class ButtonPeer final : public QtControlPeer {
 public:
  ButtonPeer(CommandButton& model, QWidget* parent)
      : QtControlPeer(model, new QPushButton), button_(model) {
    widget()->setParent(parent);
    QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked,
                     [this] { button_.raise_click(); });
  }

 protected:
  void changed_own(Property what) override {
    if (what == Property::kCaption) {
      static_cast<QPushButton*>(widget())->setText(QString::fromStdString(button_.caption()));
    }
  }

 private:
  CommandButton& button_;
};

// A timer on QTimer: every change of the model's interval or enabled state starts a new period.
class TimerPeer final : public ControlPeer {
 public:
  explicit TimerPeer(Timer& model) : model_(model) {
    model_.attach_peer(this);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (alive_) model_.raise_timer();
    });
    restart();
  }
  ~TimerPeer() override {
    if (alive_ && model_.peer() == this) model_.attach_peer(nullptr);
  }
  void changed(Control&, Property what) override {
    if (what == Property::kTimer) restart();
  }
  void released(Control&) override {
    alive_ = false;
    timer_.stop();
  }

 private:
  void restart() {
    timer_.stop();
    if (model_.timer_enabled() && model_.interval() > 0) timer_.start(model_.interval());
  }
  Timer& model_;
  QTimer timer_;
  bool alive_ = true;
};

}  // namespace

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
    if (code == 0 || key->isAutoRepeat()) return false;
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

namespace {

QPoint form_point(const QWidget* widget, const QPoint& at) {
  if (const auto* window = dynamic_cast<const FormWindow*>(widget->window())) {
    return window->bar_point(widget, at);
  }
  return widget->mapTo(widget->window(), at);
}

}  // namespace

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

QtBackend::QtBackend() {
  install_accessible_controls();
}

QtBackend::~QtBackend() {
  while (!forms_.empty()) detach(const_cast<Form&>(*forms_.begin()->first));
}

void QtBackend::attach(Form& form) {
  if (forms_.count(&form) != 0) return;
  form.set_backend(this);
  Attached& attached = forms_[&form];
  const bool frameless = frameless_ ? frameless_(form) : false;
  attached.form_peer = std::make_unique<FormPeer>(form, frameless);
  FormWindow* window = attached.form_peer->window();
  if (Form* owner = form.owner(); owner != nullptr) {
    window->find_owner = [this, owner] { return window_of(*owner); };
  }

  // First a widget for every control, then the container tree (a container may be declared
  // after what it contains), then every property once.
  std::map<const Control*, QWidget*> widgets{{&form, window}};
  std::vector<QtControlPeer*> visual;
  for (Control* control : form.controls()) {
    std::unique_ptr<ControlPeer> peer;
    if (auto* pane = dynamic_cast<WebBrowser*>(control)) {
      if (pane_maker_) peer = pane_maker_(*pane, window);
    } else if (auto* box = dynamic_cast<PictureBox*>(control)) {
      auto surface = std::make_unique<SurfacePeer>(*box, form, window);
      if (video_widget_provider_) {
        if (QWidget* video = video_widget_provider_(*box)) {
          surface->host_video(video);
          attached.video_peer = surface.get();
        }
      }
      peer = std::move(surface);
    } else if (auto* label = dynamic_cast<Label*>(control)) {
      peer = std::make_unique<LabelPeer>(*label, window);
    } else if (auto* text = dynamic_cast<TextBox*>(control)) {
      peer = std::make_unique<TextBoxPeer>(*text, window);
    } else if (auto* check = dynamic_cast<CheckBox*>(control)) {
      peer = std::make_unique<CheckBoxPeer>(*check, window);
    } else if (auto* button = dynamic_cast<CommandButton*>(control)) {
      peer = std::make_unique<ButtonPeer>(*button, window);
    } else if (auto* timer = dynamic_cast<Timer*>(control)) {
      peer = std::make_unique<TimerPeer>(*timer);
    }
    if (!peer) continue;  // menus are built when they pop up
    if (auto* visual_peer = dynamic_cast<QtControlPeer*>(peer.get())) {
      widgets[control] = visual_peer->widget();
      visual.push_back(visual_peer);
    }
    attached.peers.push_back(std::move(peer));
  }
  for (QtControlPeer* peer : visual) {
    const Control* container = peer->model().container();
    const auto parent = widgets.find(container);
    QWidget* parent_widget = parent != widgets.end() ? parent->second : window;
    if (peer->widget()->parentWidget() != parent_widget) peer->widget()->setParent(parent_widget);
  }
  // Labels that take the size of their text were measured before there was a font to measure
  // with.
  for (Control* control : form.controls()) {
    if (auto* label = dynamic_cast<Label*>(control); label != nullptr && label->auto_size()) {
      label->fit();
    }
  }
  // Stacking as the model has it: later controls (or those brought to the front) lie above.
  std::vector<QtControlPeer*> stacked = visual;
  std::stable_sort(stacked.begin(), stacked.end(), [](QtControlPeer* a, QtControlPeer* b) {
    return a->model().z_order() < b->model().z_order();
  });
  for (QtControlPeer* peer : stacked) peer->widget()->raise();
  for (QtControlPeer* peer : visual) peer->sync_all();
  // The Tab key walks the controls in the form's order.
  QWidget* previous = nullptr;
  for (Control* control : form.tab_order()) {
    const auto found = widgets.find(control);
    if (found == widgets.end()) continue;
    if (previous != nullptr) QWidget::setTabOrder(previous, found->second);
    previous = found->second;
  }
  attached.form_peer->sync_all();
  attached.form_peer->changed(form, Property::kWindowState);
}

void QtBackend::set_video_full_screen(const Form& form, bool full_screen) {
  const auto found = forms_.find(&form);
  if (found == forms_.end() || found->second.video_peer == nullptr) return;
  Attached& attached = found->second;
  FormWindow* window = attached.form_peer->window();
  if (full_screen == window->video_full_screen()) return;
  if (full_screen) {
    window->on_full_screen_left = [this, &form] {
      if (full_screen_left_) {
        full_screen_left_(form);
      } else {
        set_video_full_screen(form, false);
      }
    };
    attached.video_peer->set_detached(true);
    window->full_screen_bar = nullptr;
    if (const auto bar = full_screen_bars_.find(&form); bar != full_screen_bars_.end()) {
      for (const auto& peer : attached.peers) {
        auto* visual = dynamic_cast<QtControlPeer*>(peer.get());
        if (visual != nullptr && &visual->model() == bar->second) {
          window->full_screen_bar = visual->widget();
        }
      }
    }
    window->show_full_screen(attached.video_peer->widget());
  } else {
    window->end_full_screen();
    attached.video_peer->set_detached(false);
    attached.video_peer->changed(attached.video_peer->model(), Property::kVisible);
  }
}

bool QtBackend::video_full_screen(const Form& form) const {
  const auto found = forms_.find(&form);
  return found != forms_.end() && found->second.form_peer->window()->video_full_screen();
}

void QtBackend::detach(Form& form) {
  const auto found = forms_.find(&form);
  if (found == forms_.end()) return;
  // Controls first (children of the window), then the window.
  found->second.peers.clear();
  found->second.form_peer.reset();
  forms_.erase(found);
  form.set_backend(nullptr);
}

void QtBackend::pump_events() {
  // The user's own input waits until the handler that lets events run has returned: a key or a
  // release that arrives meanwhile is handled after the event being handled, in order, never
  // inside it (a release inside its own press handler, a typed character before the one typed
  // earlier).
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

TextExtent QtBackend::measure_text(std::string_view text) const {
  const QFontMetrics metrics(label_font());
  QString caption = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  caption.replace("\r\n", "\n");
  const QStringList lines = caption.split('\n');
  int widest = 0;
  for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
  // One pixel more than the advance: the last glyph's antialiased edge may reach past it.
  int height = static_cast<int>(lines.size()) * metrics.height();
  if (lines.size() > 1) {
    // Laid out as the label lays out several lines: a line with Chinese text is as tall as the
    // fallback font that draws it, which the label font's own height does not know.
    height = std::max(
        height,
        metrics.boundingRect(QRect(0, 0, 1 << 20, 1 << 20), Qt::AlignLeft | Qt::AlignTop, caption)
            .height());
  }
  return {widest > 0 ? widest + 1 : 0, height};
}

namespace {

void add_items(QMenu& menu, MenuItem& parent, std::map<QAction*, MenuItem*>& chosen) {
  for (MenuItem* item : parent.items()) {
    if (!item->visible()) continue;
    if (item->caption() == "-") {
      menu.addSeparator();
      continue;
    }
    const QString caption = QString::fromStdString(item->caption());
    if (!item->items().empty()) {
      QMenu* sub = menu.addMenu(caption);
      sub->setEnabled(item->enabled());
      add_items(*sub, *item, chosen);
      continue;
    }
    QAction* action = menu.addAction(caption);
    action->setEnabled(item->enabled());
    action->setCheckable(item->checked());
    action->setChecked(item->checked());
    chosen[action] = item;
  }
}

}  // namespace

void QtBackend::popup_menu(Form& form, MenuItem& menu) {
  QMenu popup(window_of(form));
  std::map<QAction*, MenuItem*> chosen;
  add_items(popup, menu, chosen);
  QAction* action = popup.exec(QCursor::pos());
  if (action == nullptr) return;
  const auto item = chosen.find(action);
  if (item != chosen.end()) item->second->raise_click();
}

QWidget* QtBackend::window_of(const Form& form) const {
  const auto found = forms_.find(&form);
  return found == forms_.end() ? nullptr : found->second.form_peer->widget();
}

}  // namespace pelmora::platform::qt

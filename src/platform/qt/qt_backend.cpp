#include "platform/qt/qt_backend.h"

#include <QtCore/QCoreApplication>
#include <QtCore/QTimer>
#include <QtGui/QCursor>
#include <QtGui/QGuiApplication>
#include <QtGui/QKeyEvent>
#include <QtGui/QMouseEvent>
#include <QtGui/QPainter>
#include <QtGui/QPainterPath>
#include <QtGui/QPixmap>
#include <QtGui/QRegion>
#include <QtGui/QWindow>
#include <QtWebEngineWidgets/QWebEngineView>
#include <QtWidgets/QApplication>
#include <QtWidgets/QCheckBox>
#include <QtWidgets/QLabel>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QMenu>
#include <QtWidgets/QPushButton>

#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/qt/qt_control_peer.h"
#include "platform/qt/web_pane.h"
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

MouseEvent mouse_of(const QMouseEvent* event) {
  MouseEvent mouse;
  const Qt::MouseButtons buttons =
      event->type() == QEvent::MouseMove ? event->buttons() : Qt::MouseButtons(event->button());
  if (buttons & Qt::LeftButton)
    mouse.button = MouseButton::kLeft;
  else if (buttons & Qt::RightButton)
    mouse.button = MouseButton::kRight;
  else if (buttons & Qt::MiddleButton)
    mouse.button = MouseButton::kMiddle;
  const Qt::KeyboardModifiers modifiers = event->modifiers();
  mouse.shift = ((modifiers & Qt::ShiftModifier) ? 1 : 0) |
                ((modifiers & Qt::ControlModifier) ? 2 : 0) |
                ((modifiers & Qt::AltModifier) ? 4 : 0);
  const QPoint at = event->position().toPoint();
  mouse.x = at.x();
  mouse.y = at.y();
  return mouse;
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

// Mouse input on a widget goes to its control's events, a click being a release inside after a
// press.
template <typename Base>
class MouseWidget : public Base {
 public:
  template <typename... Args>
  explicit MouseWidget(Control& model, Args&&... args)
      : Base(std::forward<Args>(args)...), model_(model) {
    this->setMouseTracking(true);
  }

 protected:
  void mousePressEvent(QMouseEvent* event) override {
    pressed_ = true;
    model_.raise_mouse_down(mouse_of(event));
    Base::mousePressEvent(event);
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    model_.raise_mouse_move(mouse_of(event));
    Base::mouseMoveEvent(event);
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    const MouseEvent mouse = mouse_of(event);
    const bool click = pressed_ && this->rect().contains(event->position().toPoint());
    pressed_ = false;
    model_.raise_mouse_up(mouse);
    if (click && event->button() == Qt::LeftButton) model_.raise_click();
    Base::mouseReleaseEvent(event);
  }
  void mouseDoubleClickEvent(QMouseEvent* event) override {
    model_.raise_dbl_click();
    Base::mouseDoubleClickEvent(event);
  }

  Control& model_;
  bool pressed_ = false;
};

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

  // The box hosts the player's video. The video's drawing context exists only once its widget
  // has been on screen, and the player cannot start an item without it, while the program shows
  // the video only once an item plays. So a hidden video box stays on screen as one pixel in its
  // container's corner, beneath its siblings, instead of being hidden.
  void host_video(QWidget* video) {
    surface()->host(video);
    hosts_video_ = true;
    changed(box_, Property::kVisible);
  }

  void changed(Control& control, Property what) override {
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
    if (what == Property::kPicture || what == Property::kColors) widget()->update();
    if (what == Property::kCapture) {
      if (box_.has_capture()) {
        widget()->grabMouse();
      } else if (QWidget::mouseGrabber() == widget()) {
        widget()->releaseMouse();
      }
    }
  }

 private:
  PictureBox& box_;
  bool hosts_video_ = false;
};

// The pixel height of a line of label text (12-pixel font).
constexpr int kLineHeight = 15;

class LabelWidget final : public MouseWidget<QLabel> {
 public:
  explicit LabelWidget(Label& model) : MouseWidget(model) {}
};

class LabelPeer final : public QtControlPeer {
 public:
  // A label wraps its text only when it is tall enough for two lines; one line is clipped.
  void apply_geometry() override {
    QtControlPeer::apply_geometry();
    static_cast<QLabel*>(widget())->setWordWrap(label_.height() >= 2 * kLineHeight);
  }

  LabelPeer(Label& model, QWidget* parent)
      : QtControlPeer(model, new LabelWidget(model)), label_(model) {
    widget()->setParent(parent);
    auto* text = static_cast<QLabel*>(widget());
    // Captions carry names that came from the service: never read as markup.
    text->setTextFormat(Qt::PlainText);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    QFont font = text->font();
    font.setPixelSize(12);
    text->setFont(font);
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
      edit->setPalette(palette);
    }
    if (what != Property::kText) return;
    const QString text = QString::fromStdString(box_.text());
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
    setWindowFlag(Qt::FramelessWindowHint, frameless);
    setAttribute(Qt::WA_DeleteOnClose, false);
    QApplication::instance()->installEventFilter(this);
  }
  ~FormWindow() override { QApplication::instance()->removeEventFilter(this); }

  bool syncing = false;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), color_of(form_.back_color()));
    paint_cells(painter, form_, form_.cells());
  }
  void resizeEvent(QResizeEvent* event) override {
    QWidget::resizeEvent(event);
    apply_outline();
    if (syncing) return;
    const int twips = form_.twips_per_pixel();
    syncing = true;
    form_.move(form_.left(), form_.top(), width() * twips, height() * twips);
    syncing = false;
    form_.raise_resize();
  }
  void moveEvent(QMoveEvent* event) override {
    QWidget::moveEvent(event);
    if (syncing || form_.window_state() != WindowState::kNormal) return;
    const int twips = form_.twips_per_pixel();
    syncing = true;
    form_.move(x() * twips, y() * twips, form_.width(), form_.height());
    syncing = false;
  }
  void changeEvent(QEvent* event) override {
    QWidget::changeEvent(event);
    if (event->type() != QEvent::WindowStateChange || syncing) return;
    const WindowState state = isMinimized()   ? WindowState::kMinimized
                              : isMaximized() ? WindowState::kMaximized
                                              : WindowState::kNormal;
    if (state == form_.window_state()) return;
    syncing = true;
    form_.set_window_state(state);
    syncing = false;
    form_.raise_resize();
  }
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    if (form_.on_close_request) {
      form_.on_close_request();
    } else {
      form_.unload();
    }
  }
  // Key preview: the form sees keys before the focused control of its window.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != this || !form_.key_preview()) return false;
    if (!widget->isWindow() && widget != QApplication::focusWidget()) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const int code = key_code_of(key);
    if (code == 0 || key->isAutoRepeat()) return false;
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
    if (window()->syncing || form_.window_state() != WindowState::kNormal) return;
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
    win->syncing = true;
    const WindowLimits& limits = form_.window_limits();
    win->setMinimumSize(limits.min_width, limits.min_height);
    win->setMaximumSize(limits.max_width > 0 ? limits.max_width : QWIDGETSIZE_MAX,
                        limits.max_height > 0 ? limits.max_height : QWIDGETSIZE_MAX);
    if (win->testAttribute(Qt::WA_WState_Created) &&
        win->windowFlags().testFlag(Qt::WindowStaysOnTopHint) != form_.top_most()) {
      const bool was_visible = win->isVisible();
      win->setWindowFlag(Qt::WindowStaysOnTopHint, form_.top_most());
      if (was_visible) win->show();
    } else {
      win->setWindowFlag(Qt::WindowStaysOnTopHint, form_.top_most());
    }
    if (!form_.shown()) {
      win->hide();
    } else {
      switch (form_.window_state()) {
        case WindowState::kMinimized:
          win->showMinimized();
          break;
        case WindowState::kMaximized:
          win->showMaximized();
          break;
        case WindowState::kNormal:
          if (win->isMinimized() || win->isMaximized()) {
            win->showNormal();
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
    if (drag.kind == SystemDrag::Kind::kMove) {
      handle->startSystemMove();
    } else {
      Qt::Edges edges;
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
      handle->startSystemResize(edges);
    }
    auto* watch = new QTimer(window());
    QObject::connect(watch, &QTimer::timeout, [this, watch] {
      if (QGuiApplication::mouseButtons() != Qt::NoButton) return;
      watch->deleteLater();
      drag_running_ = false;
      form_.end_system_drag();
    });
    watch->start(50);
  }

  Form& form_;
  bool drag_running_ = false;
};

QtBackend::QtBackend() = default;

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

  // First a widget for every control, then the container tree (a container may be declared
  // after what it contains), then every property once.
  std::map<const Control*, QWidget*> widgets{{&form, window}};
  std::vector<QtControlPeer*> visual;
  for (Control* control : form.controls()) {
    std::unique_ptr<ControlPeer> peer;
    if (auto* pane = dynamic_cast<WebBrowser*>(control)) {
      auto web = make_web_pane(*pane, window, profile_);
      peer = std::move(web);
    } else if (auto* box = dynamic_cast<PictureBox*>(control)) {
      auto surface = std::make_unique<SurfacePeer>(*box, form, window);
      if (box->name() == "QvodC" && video_widget_provider_) {
        if (QWidget* video = video_widget_provider_(form)) surface->host_video(video);
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
  // Later controls lie above earlier ones, as they were placed.
  for (QtControlPeer* peer : visual) peer->widget()->raise();
  for (QtControlPeer* peer : visual) peer->sync_all();
  attached.form_peer->sync_all();
  attached.form_peer->changed(form, Property::kWindowState);
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
  QCoreApplication::processEvents();
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

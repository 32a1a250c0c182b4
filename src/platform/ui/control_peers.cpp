#include "platform/ui/control_peers.h"

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

#include "platform/access.h"
#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/ui/accessible_controls.h"
#include "platform/ui/qt_control_peer.h"
#include "platform/ui/window_system.h"
#include "platform/web_browser.h"

namespace pelmora::platform::qt {

bool is_native_video(const QWidget* video) {
  return video->testAttribute(Qt::WA_NativeWindow);
}

// The font of every label: the application's family at 12 pixels.
QFont label_font() {
  QFont font = QApplication::font();
  font.setPixelSize(12);
  return font;
}

namespace {

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
      model_.on_key_press(keys::kReturn);
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

std::unique_ptr<ControlPeer> make_control_peer(Control& control, QWidget* window) {
  if (auto* label = dynamic_cast<Label*>(&control)) {
    return std::make_unique<LabelPeer>(*label, window);
  } else if (auto* text = dynamic_cast<TextBox*>(&control)) {
    return std::make_unique<TextBoxPeer>(*text, window);
  } else if (auto* check = dynamic_cast<CheckBox*>(&control)) {
    return std::make_unique<CheckBoxPeer>(*check, window);
  } else if (auto* button = dynamic_cast<CommandButton*>(&control)) {
    return std::make_unique<ButtonPeer>(*button, window);
  } else if (auto* timer = dynamic_cast<Timer*>(&control)) {
    return std::make_unique<TimerPeer>(*timer);
  }
  return nullptr;
}

}  // namespace pelmora::platform::qt

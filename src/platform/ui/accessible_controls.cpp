#include "platform/ui/accessible_controls.h"

#include <QtCore/QPointer>
#include <QtCore/QTimer>
#include <QtGui/QAccessible>
#include <QtGui/QAccessibleObject>
#include <QtGui/QAccessibleValueInterface>
#include <QtGui/QGuiApplication>
#include <QtGui/QWindow>
#include <QtWidgets/QAccessibleWidget>
#include <QtWidgets/QApplication>
#include <QtWidgets/QWidget>

#include "platform/access.h"
#include "platform/form.h"

namespace pelmora::platform::qt {

namespace {

constexpr char kControlProperty[] = "pelmora_control";

QString text_of(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QAccessible::Role role_of(AccessRole role) {
  switch (role) {
    case AccessRole::kButton:
      return QAccessible::Button;
    case AccessRole::kPageTab:
      return QAccessible::PageTab;
    case AccessRole::kSlider:
      return QAccessible::Slider;
    case AccessRole::kNone:
      break;
  }
  return QAccessible::Client;
}

// A skinned control read as what its role says.
class ControlAccessible final : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  ControlAccessible(QWidget* widget, AccessRole role) : QAccessibleWidget(widget, role_of(role)) {}

  Control* control() const { return control_of(widget()); }

  QAccessible::Role role() const override {
    const Control* model = control();
    return model != nullptr ? role_of(model->access_role()) : QAccessible::Client;
  }

  QString text(QAccessible::Text t) const override {
    const Control* model = control();
    if (t == QAccessible::Name && model != nullptr) return text_of(model->access_name());
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    const Control* model = control();
    if (model == nullptr) return state;
    state.focusable = widget()->focusPolicy() != Qt::NoFocus;
    if (model->access_role() == AccessRole::kPageTab) {
      // The selected tab takes no click, but it is there to be read and reached: it is
      // selected, not unavailable.
      state.disabled = false;
      state.selectable = true;
      state.selected = model->selected();
    } else {
      state.disabled = !model->enabled();
    }
    return state;
  }

  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    const Control* model = control();
    if (model == nullptr) return names;
    if (model->access_role() == AccessRole::kSlider) {
      names.prepend(decreaseAction());
      names.prepend(increaseAction());
    } else if (model->access_role() != AccessRole::kNone) {
      names.prepend(pressAction());
    }
    return names;
  }

  void doAction(const QString& name) override {
    const int direction = name == increaseAction() ? 1 : name == decreaseAction() ? -1 : 0;
    if (name != pressAction() && direction == 0) {
      QAccessibleWidget::doAction(name);
      return;
    }
    // A press may open a modal window (the file dialog, a question) that runs an event loop of
    // its own: the caller gets its answer first, and the press runs right after.
    QPointer<QWidget> target = widget();
    QTimer::singleShot(0, target, [target, direction] {
      Control* model = target ? control_of(target) : nullptr;
      if (model == nullptr) return;
      if (direction == 0) {
        access::press(*model);
      } else {
        access::handle_key(*model, direction > 0 ? 39 : 37);
      }
    });
  }

  void* interface_cast(QAccessible::InterfaceType type) override {
    const Control* model = control();
    if (type == QAccessible::ValueInterface && model != nullptr &&
        model->access_role() == AccessRole::kSlider) {
      return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }

  QVariant currentValue() const override { return value().current; }
  void setCurrentValue(const QVariant&) override {}  // the bars move by their steps only
  QVariant maximumValue() const override { return value().maximum; }
  QVariant minimumValue() const override { return value().minimum; }
  QVariant minimumStepSize() const override { return 1; }

 private:
  AccessValue value() const {
    const Control* model = control();
    return model != nullptr && model->access_value ? model->access_value() : AccessValue{};
  }
};

// A form's window: a frame named with its title.
class FormAccessible final : public QAccessibleWidget {
 public:
  explicit FormAccessible(QWidget* widget) : QAccessibleWidget(widget, QAccessible::Window) {}
};

// The program as a whole: its windows, without the engine's off-screen windows (they draw the
// browser panes and are no window of the program's).
class ProgramAccessible final : public QAccessibleApplication {
 public:
  int childCount() const override { return static_cast<int>(windows().size()); }
  QAccessibleInterface* child(int index) const override {
    const QList<QObject*> all = windows();
    if (index < 0 || index >= all.size()) return nullptr;
    return QAccessible::queryAccessibleInterface(all.at(index));
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child != nullptr ? static_cast<int>(windows().indexOf(child->object())) : -1;
  }

 private:
  static QList<QObject*> windows() {
    QList<QObject*> found;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
      if (window->type() == Qt::Popup || window->type() == Qt::Desktop) continue;
      QAccessibleInterface* root = window->accessibleRoot();
      if (root == nullptr || root->object() == nullptr) continue;
      // Windows of widgets only: the engine's off-screen windows have none.
      if (!root->object()->isWidgetType()) continue;
      found.append(root->object());
    }
    return found;
  }
};

QAccessibleInterface* factory(const QString& key, QObject* object) {
  if (object == QCoreApplication::instance() && key == QLatin1String("QApplication")) {
    return new ProgramAccessible;
  }
  // Only the classes the control peers are made of. The object is not touched before: the
  // engine asks about objects of its own while they are still being made.
  if (object == nullptr || (key != QLatin1String("QWidget") && key != QLatin1String("QLabel"))) {
    return nullptr;
  }
  auto* widget = static_cast<QWidget*>(object);
  Control* control = control_of(widget);
  if (control == nullptr) return nullptr;
  if (dynamic_cast<Form*>(control) != nullptr && widget->isWindow()) {
    return new FormAccessible(widget);
  }
  if (control->access_role() == AccessRole::kNone) return nullptr;
  return new ControlAccessible(widget, control->access_role());
}

}  // namespace

void install_accessible_controls() {
  // The factory installed last is asked first: the toolkit's own, which the application object
  // installs, would otherwise read every skinned control as a plain widget.
  QAccessible::removeFactory(factory);
  QAccessible::installFactory(factory);
}

void mark_control(QWidget* widget, Control& control) {
  widget->setProperty(kControlProperty, QVariant::fromValue(static_cast<void*>(&control)));
}

void forget_control(QWidget* widget) {
  widget->setProperty(kControlProperty, QVariant());
}

Control* control_of(const QWidget* widget) {
  if (widget == nullptr) return nullptr;
  return static_cast<Control*>(widget->property(kControlProperty).value<void*>());
}

void announce(QWidget* widget, Control& control, Property what) {
  if (!QAccessible::isActive() || widget == nullptr) return;
  if (control.access_role() == AccessRole::kNone) return;
  if (what == Property::kToolTip || what == Property::kCaption) {
    QAccessibleEvent event(widget, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&event);
  } else if (what == Property::kAccess && control.access_role() == AccessRole::kPageTab) {
    QAccessible::State changed;
    changed.selected = true;
    QAccessibleStateChangeEvent event(widget, changed);
    QAccessible::updateAccessibility(&event);
  } else if (what == Property::kAccess && control.access_role() == AccessRole::kSlider &&
             control.access_value) {
    QAccessibleValueChangeEvent event(widget, control.access_value().current);
    QAccessible::updateAccessibility(&event);
  }
}

}  // namespace pelmora::platform::qt

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
#include "platform/ui/control_peers.h"
#include "platform/ui/form_peer.h"
#include "platform/ui/form_window.h"
#include "platform/ui/qt_control_peer.h"
#include "platform/ui/window_system.h"
#include "platform/web_browser.h"

namespace pelmora::platform::qt {

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
    } else {
      peer = make_control_peer(*control, window);
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

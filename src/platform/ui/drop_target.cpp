#include "platform/ui/drop_target.h"

#include <QtCore/QMimeData>
#include <QtCore/QTimer>
#include <QtGui/QDropEvent>
#include <QtWidgets/QApplication>
#include <QtWidgets/QLineEdit>
#include <QtWidgets/QWidget>
#include <string>
#include <vector>

#include "platform/form.h"

namespace pelmora::platform::qt {

namespace {

// The lines of a drag as the desktop gives them: the address list when there is one (raw, as
// the program's own address schemes do not survive the toolkit's address parsing), else the text.
std::vector<std::string> lines_of(const QMimeData& mime) {
  std::vector<std::string> lines;
  if (mime.hasFormat("text/uri-list")) {
    const QByteArray list = mime.data("text/uri-list");
    for (const QByteArray& line : list.split('\n')) {
      const QByteArray item = line.trimmed();
      if (!item.isEmpty()) lines.push_back(item.toStdString());
    }
  }
  if (lines.empty() && mime.hasText()) lines.push_back(mime.text().toStdString());
  return lines;
}

class DropFilter final : public QObject {
 public:
  DropFilter(QWidget& window, Form& form) : QObject(&window), window_(window), form_(form) {
    window.setAcceptDrops(true);
    QApplication::instance()->installEventFilter(this);
  }
  ~DropFilter() override { QApplication::instance()->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) {
      return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget == nullptr || widget->window() != &window_) return false;
    // A text box takes dropped text as it always does.
    if (qobject_cast<QLineEdit*>(widget) != nullptr) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QMimeData* mime = drop->mimeData();
    const std::vector<std::string> lines =
        mime != nullptr ? lines_of(*mime) : std::vector<std::string>();
    const bool taken = !lines.empty() && form_.accepts_drop && form_.accepts_drop(lines);
    if (!taken) {
      drop->ignore();
      return true;
    }
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    // The drop plays once the desktop has heard that it was taken, not inside its hand-over.
    if (type == QEvent::Drop) {
      QTimer::singleShot(0, &window_, [form = &form_, lines] {
        if (form->on_drop) form->on_drop(lines);
      });
    }
    return true;
  }

 private:
  QWidget& window_;
  Form& form_;
};

}  // namespace

void accept_drops(QWidget& window, Form& form) {
  new DropFilter(window, form);
}

}  // namespace pelmora::platform::qt

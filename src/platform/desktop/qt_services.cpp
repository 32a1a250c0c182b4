#include "platform/desktop/qt_services.h"

#include <QtGui/QGuiApplication>
#include <QtGui/QScreen>
#include <QtWidgets/QFileDialog>
#include <QtWidgets/QMessageBox>
#include <QtWidgets/QPushButton>
#include <QtWidgets/QSystemTrayIcon>

#include "platform/ui/window_system.h"

namespace pelmora::platform::qt {

Answer QtDialogs::message_box(const std::string& title, const std::string& text,
                              MessageButtons buttons, MessageIcon icon) {
  QMessageBox box(parent_);
  box.setWindowTitle(QString::fromStdString(title));
  QString body = QString::fromStdString(text);
  body.replace("\r\n", "\n");
  // Messages quote paths and names from the lists: never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setText(body);
  switch (icon) {
    case MessageIcon::kNone:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::kInformation:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::kQuestion:
      box.setIcon(QMessageBox::Question);
      break;
    case MessageIcon::kWarning:
      box.setIcon(QMessageBox::Warning);
      break;
  }
  if (buttons == MessageButtons::kYesNo) {
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::Yes);
    // Escape and the box's own close dismiss the question without an answer: they press a
    // cancel button that is never shown, so neither counts as No.
    QPushButton* dismiss = box.addButton(QMessageBox::Cancel);
    dismiss->hide();
    box.setEscapeButton(dismiss);
    box.exec();
    if (box.clickedButton() == box.button(QMessageBox::Yes)) return Answer::kYes;
    if (box.clickedButton() == box.button(QMessageBox::No)) return Answer::kNo;
    return Answer::kCancel;
  }
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
  return Answer::kOk;
}

QString qt_filter(const std::string& filter) {
  const QStringList parts = QString::fromStdString(filter).split('|');
  QStringList filters;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    if (patterns == "*.*") patterns = "*";
    filters << parts[i] + " (" + patterns + ")";
  }
  return filters.join(";;");
}

std::optional<std::string> QtDialogs::open_file(const std::string& title,
                                                const std::string& filter) {
  const QString file = QFileDialog::getOpenFileName(parent_, QString::fromStdString(title),
                                                    QString(), qt_filter(filter));
  if (file.isEmpty()) return std::nullopt;
  return file.toStdString();
}

std::optional<std::string> QtDialogs::browse_folder(const std::string& title,
                                                    const std::string& start_folder) {
  const QString folder = QFileDialog::getExistingDirectory(parent_, QString::fromStdString(title),
                                                           QString::fromStdString(start_folder));
  if (folder.isEmpty()) return std::nullopt;
  return folder.toStdString();
}

QtTray::QtTray(QIcon icon) : icon_(std::make_unique<QSystemTrayIcon>(icon)) {
  QObject::connect(icon_.get(), &QSystemTrayIcon::activated,
                   [this](QSystemTrayIcon::ActivationReason reason) {
                     switch (reason) {
                       case QSystemTrayIcon::Trigger:
                         if (on_left_click) on_left_click();
                         break;
                       case QSystemTrayIcon::Context:
                         if (on_right_click) on_right_click();
                         break;
                       case QSystemTrayIcon::DoubleClick:
                         if (on_double_click) on_double_click();
                         break;
                       default:
                         break;
                     }
                   });
}

QtTray::~QtTray() = default;

bool QtTray::available() const {
  return QSystemTrayIcon::isSystemTrayAvailable();
}

void QtTray::add(const std::string& tip) {
  icon_->setToolTip(QString::fromStdString(tip));
  icon_->show();
}

void QtTray::set_tip(const std::string& tip) {
  icon_->setToolTip(QString::fromStdString(tip));
}

void QtTray::remove() {
  icon_->hide();
}

bool QtTray::shown() const {
  return icon_->isVisible();
}

void QtTray::balloon(const std::string& title, const std::string& text) {
  if (!icon_->isVisible()) return;
  icon_->showMessage(QString::fromStdString(title), QString::fromStdString(text),
                     QSystemTrayIcon::Information, 5000);
}

namespace {
Rect rect_from(const QRect& rect) {
  return Rect{rect.x(), rect.y(), rect.width(), rect.height()};
}
}  // namespace

Rect QtScreen::geometry() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? rect_from(screen->geometry()) : Rect{0, 0, 1920, 1080};
}

Rect QtScreen::work_area() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  return screen != nullptr ? rect_from(screen->availableGeometry()) : Rect{0, 0, 1920, 1040};
}

bool QtScreen::keeps_windows_on_top() const {
  return window_system::keeps_windows_on_top();
}

}  // namespace pelmora::platform::qt

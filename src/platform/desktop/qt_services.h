#pragma once

#include <QtGui/QIcon>
#include <memory>

#include "platform/dialogs.h"
#include "platform/screen.h"
#include "platform/tray.h"

class QSystemTrayIcon;
class QWidget;

namespace pelmora::platform::qt {

// Message boxes, the open-file dialog and the folder browser, modal over `parent`.
class QtDialogs final : public Dialogs {
 public:
  void set_parent(QWidget* parent) { parent_ = parent; }
  Answer message_box(const std::string& title, const std::string& text, MessageButtons buttons,
                     MessageIcon icon) override;
  std::optional<std::string> open_file(const std::string& title,
                                       const std::string& filter) override;
  std::optional<std::string> browse_folder(const std::string& title,
                                           const std::string& start_folder) override;

 private:
  QWidget* parent_ = nullptr;
};

// The notification-area icon on QSystemTrayIcon.
class QtTray final : public Tray {
 public:
  explicit QtTray(QIcon icon);
  ~QtTray() override;
  bool available() const override;
  void add(const std::string& tip) override;
  void set_tip(const std::string& tip) override;
  void remove() override;
  bool shown() const override;
  void balloon(const std::string& title, const std::string& text) override;

 private:
  std::unique_ptr<QSystemTrayIcon> icon_;
};

// The primary screen.
class QtScreen final : public Screen {
 public:
  Rect geometry() const override;
  Rect work_area() const override;
  int twips_per_pixel_x() const override { return 15; }
  int twips_per_pixel_y() const override { return 15; }
  bool keeps_windows_on_top() const override;
};

// Converts the program's file filter ("媒体文件|*.rmvb;*.mp4|所有文件|*.*") into Qt's form
// ("媒体文件 (*.rmvb *.mp4);;所有文件 (*)").
QString qt_filter(const std::string& filter);

}  // namespace pelmora::platform::qt

#pragma once

#include <string>
#include <string_view>

#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"

namespace pelmora::app {
class BA1;
}
namespace pelmora::platform {
class Dialogs;
}

namespace pelmora::settings_dialog {

// The folder browser of the download-folder page: the chosen folder, or "" when the user
// cancelled. An empty title asks "请选择文件夹". The desktop's folder dialog opens where it
// last was; `initial` is the folder the page shows and is not handed on.
std::string browse_folder(platform::Dialogs& dialogs, std::string_view initial,
                          std::string_view title);

// The settings dialog "软件设置": an about page, the program's eight switches and the player
// engine's download folder. Opened from the tray menu, owned by the main window; OK and Cancel
// unload it.
class BA3 : public platform::Form {
 public:
  explicit BA3(app::BA1& main_window);

  // Page selector (in Frame1) and the pages with their title (in Frame2).
  platform::PictureBox Frame1{this, "Frame1"};
  platform::ControlArray<platform::Label> d_z{this, "d_z", {0, 1, 2}};
  platform::PictureBox Frame2{this, "Frame2"};
  platform::ControlArray<platform::PictureBox> p1{this, "p1", {0, 1, 2}};
  platform::Label bb{this, "bb"};
  // Switches page: there is no index 4; 1, 2 and 3 sit in Frame3(0) "播放设置".
  platform::ControlArray<platform::PictureBox> Frame3{this, "Frame3", {0}};
  platform::ControlArray<platform::CheckBox> Check1{this, "Check1", {0, 1, 2, 3, 5, 6, 7, 8}};
  // Download-folder page.
  platform::TextBox Text1{this, "Text1"};
  platform::CommandButton Command1{this, "Command1"};
  // L1(0) heads the download-folder page; the others are the about page's texts, the last five
  // inside Frame4 "关于".
  platform::ControlArray<platform::Label> L1{this, "L1", {0, 4, 8, 9, 10, 11, 12, 13}};
  platform::PictureBox Frame4{this, "Frame4"};
  platform::CommandButton cmdOK{this, "cmdOK"};
  platform::CommandButton cmdCancel{this, "cmdCancel"};
  platform::CommandButton cmdApply{this, "cmdApply"};

  void Form_Load();
  void Form_Resize();
  // Shows page 0 (about), 1 (switches) or 2 (download folder); the tray menu calls it.
  void d_z_Click(int index);
  void cmdApply_Click();
  void cmdOK_Click();
  void cmdCancel_Click();
  void Command1_Click();

  // The dialog's view of the player engine: its folder (setting "qvodw"), the download folder
  // its settings file named when the dialog loaded ("" when there was none), and that file's
  // text as read (nothing when it could not be read).
  const std::string& player_folder() const { return player_folder_; }
  const std::string& loaded_folder() const { return loaded_folder_; }

 private:
  // Ends the engine's programs and writes Text1 into its settings file; false when the file
  // could not be written.
  bool change_download_folder();
  // The folder the page shows when none was loaded.
  std::string shown_folder() const;

  app::BA1& main_;
  std::string player_folder_;
  std::string loaded_folder_;
  std::string engine_settings_;
  bool engine_settings_read_ = false;
};

}  // namespace pelmora::settings_dialog

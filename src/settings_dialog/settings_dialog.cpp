#include "settings_dialog/settings_dialog.h"

#include <optional>

#include "app/main_window.h"
#include "app/settings_store.h"
#include "engine_client/engine_files.h"
#include "platform/backend.h"
#include "platform/dialogs.h"
#include "platform/files.h"
#include "platform/key_codes.h"
#include "platform/launcher.h"
#include "platform/process_table.h"

namespace pelmora::settings_dialog {

namespace engine = playback::engine;

namespace {

// Design size of the dialog, in twips.
constexpr int kDesignWidth = 5250;
constexpr int kDesignHeight = 4530;
// Where every page sits, in twips, whatever size the dialog has.
constexpr platform::Rect kPageTwips{240, 600, 4476, 3275};

constexpr platform::Color kWhite = 0xFFFFFF;
constexpr platform::Color kBlack = 0x000000;
// The desktop's selection colour (RGB 0, 120, 215).
constexpr platform::Color kHighlight = 0xD77800;

constexpr const char* kPageTitles[] = {"关于软件", "软件设置", "缓存设置"};

// The switches, their check boxes and captions: settings::kSwitches. Apply writes them in its
// order.
using settings::kSwitches;
using settings::Switch;

constexpr std::string_view kBrowseTitle = "请选择影片下载存放的文件夹";
constexpr std::string_view kChangedText = "接受路径修改成功，可能部分电脑需要重启才能生效！";
constexpr std::string_view kNotChangedText =
    "下载路径没有修改成功：没有找到快播(Qvod)的设置文件，或者无法写入！";
constexpr std::string_view kBadFolderText = "下载路径没有修改：路径中不能含有引号或换行！";

bool ends_with_slash(std::string_view folder) {
  return !folder.empty() && folder.back() == '/';
}

}  // namespace

std::string browse_folder(platform::Dialogs& dialogs, std::string_view initial,
                          std::string_view title) {
  const std::string heading = title.empty() ? "请选择文件夹" : std::string(title);
  const std::optional<std::string> chosen = dialogs.browse_folder(heading, std::string(initial));
  return chosen.value_or("");
}

BA3::BA3(app::BA1& main_window) : Form("BA3"), main_(main_window) {
  set_caption("软件设置");
  move(0, 0, kDesignWidth, kDesignHeight);
  set_twips_per_pixel(main_window.twips_per_pixel());
  set_visible(false);

  Frame1.move(16, 8, 318, 30);
  for (int index = 0; index < 3; ++index) {
    // Each selector label shows its own colours (white, or the highlight for the page on view).
    d_z[index].set_transparent(false);
    d_z[index].set_container(&Frame1);
    d_z[index].set_caption(kPageTitles[index]);
    d_z[index].move(index * 106, 0, 104, 30);
    d_z[index].on_click = [this, index] { d_z_Click(index); };
    // The selectors are the dialog's page tabs, read by their captions.
    d_z[index].set_access(platform::AccessRole::kPageTab);
  }
  // The pages' frame fills the dialog under the selector, which stays in front of it; the page
  // title sits at the bottom left, beside the buttons, where it covers no page.
  Frame2.move(0, 0, kDesignWidth / 15, kDesignHeight / 15);
  Frame1.bring_to_front();
  bb.set_container(&Frame2);
  bb.move(16, 272, 80, 16);
  for (int index = 0; index < 3; ++index) p1[index].set_container(&Frame2);

  // The about page.
  L1[4].set_container(&p1[0]);
  L1[4].set_caption("Pelmora");
  L1[4].move(8, 8, 200, 20);
  L1[8].set_container(&p1[0]);
  L1[8].set_caption("");
  L1[8].move(8, 32, 200, 20);
  Frame4.set_container(&p1[0]);
  Frame4.set_caption("关于");
  Frame4.move(8, 60, 280, 140);
  constexpr const char* kAboutLines[] = {"Pelmora是一款以快播QVOD为核心的", "播放软件。",
                                         "软件以搜索引擎的方式整合了互联网上的",
                                         "QVOD媒体资源。为用户提供方便快捷的浏", "览体验。"};
  for (int line = 0; line < 5; ++line) {
    platform::Label& label = L1[9 + line];
    label.set_container(&Frame4);
    label.set_caption(kAboutLines[line]);
    label.move(8, 16 + line * 22, 264, 20);
  }

  // The switches page.
  Frame3[0].set_container(&p1[1]);
  Frame3[0].set_caption("播放设置");
  Frame3[0].move(8, 4, 280, 92);
  int row = 0;
  for (const int box : {1, 2, 3}) {
    Check1[box].set_container(&Frame3[0]);
    Check1[box].move(12, 18 + 24 * row++, 250, 20);
  }
  row = 0;
  for (const int box : {0, 5, 6, 7, 8}) {
    Check1[box].set_container(&p1[1]);
    Check1[box].move(20, 102 + 22 * row++, 260, 20);
  }
  for (const Switch& entry : kSwitches) Check1[entry.box].set_caption(entry.caption);

  // The download-folder page.
  L1[0].set_container(&p1[2]);
  L1[0].set_caption("设置影片接收下载路径：");
  L1[0].move(8, 16, 260, 20);
  Text1.set_container(&p1[2]);
  Text1.move(8, 44, 210, 22);
  Command1.set_container(&p1[2]);
  Command1.set_caption("浏览");
  Command1.move(224, 43, 60, 24);
  Command1.on_click = [this] { Command1_Click(); };

  cmdOK.set_caption("确定");
  cmdOK.move(100, 268, 70, 24);
  cmdOK.on_click = [this] { cmdOK_Click(); };
  cmdCancel.set_caption("取消");
  cmdCancel.move(176, 268, 70, 24);
  cmdCancel.on_click = [this] { cmdCancel_Click(); };
  cmdApply.set_caption("应用(&A)");
  cmdApply.move(252, 268, 80, 24);
  cmdApply.on_click = [this] { cmdApply_Click(); };

  on_load = [this] { Form_Load(); };
  on_resize = [this] { Form_Resize(); };

  // A dialog of the main window: Escape cancels, Enter is OK, and its free surface drags it
  // (also where no window manager gives it a title bar).
  set_owner(&main_window);
  set_key_preview(true);
  on_key_down = [this](int key_code, int) {
    if (key_code == platform::keys::kEscape) cmdCancel_Click();
    if (key_code == platform::keys::kReturn) cmdOK_Click();
  };
  Frame2.on_mouse_down = [this](const platform::MouseEvent& event) {
    if (event.button == platform::MouseButton::kLeft) start_system_move();
  };
}

void BA3::Form_Load() {
  // The selector's captions sit one line down inside their labels.
  for (int index = 0; index < 3; ++index) {
    d_z[index].set_caption(std::string("\r\n") + kPageTitles[index]);
  }
  d_z_Click(0);

  // A switch shows cleared only when it holds 1; an unset one shows checked.
  for (const Switch& entry : kSwitches) {
    const long long value = main_.settings_store.get().switch_value(entry.key);
    Check1[entry.box].set_value(value == 1 ? 0 : 1);
  }
  player_folder_ = main_.settings_store.get().player_folder;

  const std::optional<std::string> text = engine::read_settings_text(player_folder_);
  engine_settings_read_ = text.has_value();
  engine_settings_ = text.value_or("");
  loaded_folder_ = engine::save_folder_in(engine_settings_);
  Text1.set_text(shown_folder());
  Form_Resize();
}

void BA3::Form_Resize() {
  const int twips = twips_per_pixel();
  for (int index = 0; index < 3; ++index) {
    p1[index].move(kPageTwips.left / twips, kPageTwips.top / twips, kPageTwips.width / twips,
                   kPageTwips.height / twips);
  }
}

void BA3::d_z_Click(int index) {
  if (index < 0 || index > 2) return;
  for (int page = 0; page < 3; ++page) {
    d_z[page].set_back_color(page == index ? kHighlight : kWhite);
    d_z[page].set_fore_color(page == index ? kWhite : kBlack);
    p1[page].set_visible(page == index);
    d_z[page].set_selected(page == index);
  }
  bb.set_caption(kPageTitles[index]);
}

void BA3::cmdApply_Click() {
  for (const Switch& entry : kSwitches) {
    main_.settings_store.write_option(entry.key, Check1[entry.box].value() == 0 ? "1" : "2");
  }
  if (Text1.text() == shown_folder()) return;

  std::string folder = Text1.text();
  // Only a full path names a folder; anything else falls back to the engine's own default.
  if (folder.empty() || folder.front() != '/') folder = engine::default_save_folder();
  if (!ends_with_slash(folder)) folder += '/';
  Text1.set_text(folder);

  platform::Dialogs& dialogs = main_.services().dialogs;
  if (folder.find_first_of("\"\r\n") != std::string::npos) {
    dialogs.message_box("Pelmora", std::string(kBadFolderText), platform::MessageButtons::kOk,
                        platform::MessageIcon::kWarning);
    return;
  }
  if (!change_download_folder()) {
    dialogs.message_box("Pelmora", std::string(kNotChangedText), platform::MessageButtons::kOk,
                        platform::MessageIcon::kWarning);
    return;
  }
  dialogs.message_box("Pelmora", std::string(kChangedText), platform::MessageButtons::kOk,
                      platform::MessageIcon::kInformation);
}

bool BA3::change_download_folder() {
  // Without the engine's settings file there is nothing to change: the engine is left running.
  if (!engine_settings_read_) return false;
  platform::ProcessTable& processes = main_.services().processes;
  engine::terminate_all(processes, engine::kPlayerProgram);
  engine::terminate_all(processes, engine::kTerminalProgram);
  main_.services().backend.pump_events();
  const std::string folder = Text1.text();
  const settings::Settings& options = main_.settings_store.get();
  if (!engine::write_save_folder(
          options.player_folder, engine_settings_, loaded_folder_, folder,
          main_.services().launcher,
          engine::terminal_arguments(options.end_engine, main_.service_url("")))) {
    return false;
  }
  // The change counts only when the file now names the new folder (a file without the folder's
  // line is written back unchanged). Later changes in this dialog replace the folder now in the
  // file, not the one first read.
  const std::optional<std::string> written = engine::read_settings_text(player_folder_);
  if (!written || engine::save_folder_in(*written) != folder) return false;
  engine_settings_ = *written;
  loaded_folder_ = folder;
  return true;
}

void BA3::cmdOK_Click() {
  cmdApply_Click();
  unload();
}

void BA3::cmdCancel_Click() {
  unload();
}

void BA3::Command1_Click() {
  std::string folder = browse_folder(main_.services().dialogs, Text1.text(), kBrowseTitle);
  // Cancelling puts back the folder the engine uses, not whatever had been typed.
  if (folder.empty()) folder = shown_folder();
  if (!ends_with_slash(folder)) folder += '/';
  Text1.set_text(folder);
}

std::string BA3::shown_folder() const {
  return loaded_folder_.empty() ? engine::default_save_folder() : loaded_folder_;
}

}  // namespace pelmora::settings_dialog

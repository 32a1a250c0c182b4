#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "app/chrome_state.h"
#include "app/configuration.h"
#include "app/settings_store.h"
#include "app/window_buttons.h"
#include "lists/list_files.h"
#include "platform/control_array.h"
#include "platform/controls.h"
#include "platform/form.h"
#include "platform/http_fetch.h"
#include "platform/services.h"
#include "platform/web_browser.h"

// The windows the main window makes on demand (tray menus and tips, settings, promotion).
namespace pelmora::tray {
class tip;
}
namespace pelmora::settings_dialog {
class BA3;
}
namespace pelmora::promo {
class adsb;
class ba4;
}  // namespace pelmora::promo
namespace pelmora::playback {
class Session;
class ShutdownNotice;
struct Start;
}  // namespace pelmora::playback

namespace pelmora::app {

// The main window: the catalogue and the program's own panes, the player with its transport bar,
// the side panel with the history lists, and the skinned frame. Its controls are members; the
// handlers of each subsystem are defined in that subsystem's folder (link protocol and episode
// sequencing in web/, the player's handlers in playback/, the frame, layout, skin and tabs in
// shell/), all on this one class.
class BA1 : public platform::Form, public lists::ListPageView {
 public:
  BA1(const platform::Services& services, const Configuration& config, std::string program_folder,
      std::string command_line);
  ~BA1() override;

  // ---- Controls (container in the comment) --------------------------------------------------
  // Caption, tab and sub-tab buttons (form; 10, 11, 12, 16 in the side panel l2, 6 in zz).
  platform::ControlArray<platform::PictureBox> npc{
      this, "npc", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}};
  // Skin sprite strips, hidden (form).
  platform::ControlArray<platform::PictureBox> ppt =
      platform::ControlArray<platform::PictureBox>::range(this, "ppt", 21);
  // Search box (form).
  platform::PictureBox soimg{this, "soimg"};
  platform::TextBox soso{this, "soso"};
  platform::PictureBox soc{this, "soc"};
  // Titles (form).
  platform::Label ni_name{this, "ni_name"};
  platform::Label ni_bo1{this, "ni_bo1"};
  platform::Label jbi{this, "jbi"};
  // Panes shown by the tabs (form).
  platform::PictureBox zz{this, "zz"};              // playback
  platform::PictureBox zzp{this, "zzp"};            // film library
  platform::PictureBox ying{this, "ying"};          // TV and music
  platform::PictureBox yingyong{this, "yingyong"};  // recommendations
  platform::PictureBox xiaoshuo{this, "xiaoshuo"};  // novels
  // Playback pane zz: left area, side panel, bottom bar.
  platform::PictureBox L1{this, "L1"};
  platform::PictureBox l2{this, "l2"};
  platform::PictureBox bo_foot{this, "bo_foot"};
  // L1: web playback surface and the player's picture box, in the same place.
  platform::PictureBox Pic2{this, "Pic2"};
  platform::WebBrowser Web2{this, "Web2"};
  platform::PictureBox qvod{this, "qvod"};
  // qvod: advert overlay, status bar with status line and time, seek bar.
  platform::PictureBox bo_ad{this, "bo_ad"};
  platform::PictureBox bo_zt{this, "bo_zt"};
  platform::Label zhun{this, "zhun"};
  platform::Label times{this, "times"};
  platform::PictureBox gunt{this, "gunt"};
  platform::PictureBox gunt1{this, "gunt1"};
  platform::Label huan{this, "huan"};
  // bo_ad: big play button, next-episode notice, advert pane.
  platform::PictureBox adp{this, "adp"};
  platform::Label next_s{this, "next_s"};
  platform::PictureBox ad_huan{this, "ad_huan"};
  platform::WebBrowser Web7{this, "Web7"};
  // bo_foot: transport buttons, title, volume bar.
  platform::ControlArray<platform::PictureBox> bo_but =
      platform::ControlArray<platform::PictureBox>::range(this, "bo_but", 9);
  platform::Label bo_name{this, "bo_name"};
  platform::PictureBox yin{this, "yin"};
  platform::PictureBox bo_v{this, "bo_v"};
  platform::Label bo_y{this, "bo_y"};
  // l2: list panes and the list label.
  platform::PictureBox Pic3{this, "Pic3"};
  platform::WebBrowser Web3{this, "Web3"};
  platform::PictureBox Pic4{this, "Pic4"};
  platform::WebBrowser Web4{this, "Web4"};
  platform::PictureBox Pic5{this, "Pic5"};
  platform::WebBrowser Web5{this, "Web5"};
  platform::PictureBox shan{this, "shan"};
  platform::Label qk{this, "qk"};
  // zzp: the catalogue pane and the panel that covers it while it is not available.
  platform::PictureBox Pic1{this, "Pic1"};
  platform::WebBrowser Web1{this, "Web1"};
  platform::PictureBox wait{this, "wait"};
  platform::PictureBox jia{this, "jia"};
  platform::Label webe{this, "webe"};
  // ying, yingyong, xiaoshuo.
  platform::WebBrowser Web9{this, "Web9"};
  platform::WebBrowser Web10{this, "Web10"};
  platform::WebBrowser Web11{this, "Web11"};
  // Hidden: the statistics pane and the channel's control.
  platform::PictureBox tj{this, "tj"};
  platform::WebBrowser Web6{this, "Web6"};
  platform::PictureBox dde{this, "dde"};
  // The hover label.
  platform::PictureBox p1{this, "p1"};
  platform::Label bo_tip{this, "bo_tip"};
  // Timers.
  platform::Timer Timer1{this, "Timer1", 1000, true};    // status monitor
  platform::Timer Timer2{this, "Timer2", 2000, false};   // end of playback
  platform::Timer Timer3{this, "Timer3", 10, true};      // start-up housekeeping, runs once
  platform::Timer Timer4{this, "Timer4", 50000, false};  // retry of a failed next-episode fetch
  platform::Timer Timer5{this, "Timer5", 6000, true};    // update check, runs once
  platform::Timer Timer8{this, "Timer8", 5000, false};   // floating promotion window
  // An item the player has not begun some seconds after its start is given up (the session's).
  platform::Timer load_watch{this, "load_watch", 5000, false};
  // Tries again to write the list changes that could not be written (a full disk).
  platform::Timer save_retry{this, "save_retry", 5000, false};

  // ---- Window-level state -------------------------------------------------------------------
  // The window's toggles; the controls are drawn from these, never read back.
  ChromeState chrome;
  // The engine's folder, ends in "/"; empty until learned (start-up check, settings).
  std::string player_dir;
  // Values taken at load.
  // The settings, read from "config.dll" once and again whenever the file changed.
  settings::Store settings_store{""};
  std::string user_id;
  std::string version;
  // The update file asked for the recommendation window at exit.
  bool exit_recommendation = false;

  // ---- Main window initialisation and shared helpers (app/) ---------------------------------
  const platform::Services& services() const { return services_; }
  const Configuration& config() const { return config_; }
  const std::string& program_folder() const { return program_folder_; }
  const std::string& command_line() const { return command_line_; }
  // The service base URL followed by a relative path.
  std::string service_url(std::string_view path) const;
  // A file of the program folder.
  std::string program_file(std::string_view name) const;
  // Where the history lists are and who shows their pages (this window).
  lists::ListPlace list_place();
  // Shows a freshly rendered list page: Web3 for the network list, Web4 for the local list.
  void show_list_page(std::string_view list_file, const std::string& page_path) override;
  // A list change waits to be written: the user hears it once, and it is tried again every few
  // seconds until it is written (and the user hears that too).
  void list_not_saved() override;
  void lists_saved() override;
  // The outcome of a settings write: the user hears once that settings cannot be saved (the
  // file stays as it was), and again after a write has succeeded in between.
  void settings_written(bool saved);
  lists::Backlog list_backlog;
  // The episode list pane's placeholder while no network video plays.
  void show_no_episode_list();
  // A balloon from the notification-area icon, titled "Pelmora提示:".
  void balloon(const std::string& text);
  // True while a player exists (the session owns it and every call to it).
  bool has_player() const;

  void Form_Load();
  // True when this start found another instance running, handed its command line over and
  // ended inside Form_Load: the window must not be shown and the program ends.
  bool ended() const { return ended_; }

  // ---- Command channel, panes, search box and list actions (app/, web/, lists/) -------------
  // A command line arriving from a later start of the program.
  void Form_LinkExecute(const std::string& command);
  // Plays a local file or a player address given as text and records it in the local list;
  // refuses (and says so) what the player may not play.
  void l_com(std::string command);
  // The file or address a command line names (quotes and one trailing "/" dropped, a "file:"
  // address made a path); nothing when the player may not play it.
  static std::optional<std::string> command_item(std::string command);
  // Tells the user that `what` is not played.
  void refuse_item(const std::string& what);
  // Plays a file chosen with the open-file button and records it in the local list.
  void play_chosen_file(const std::string& path);
  // Every item starts here: the session starts it, and the window shows the player's area
  // (kPlayer) or leaves the panes to the tab that is pressed next (kAsTabShows).
  enum class ItemView { kPlayer, kAsTabShows };
  void start_item(playback::Start start, ItemView view);
  // Panes (their events; the hooks stand for the pane documents' context-menu handlers).
  void Web1_DownloadComplete();
  void Web1_NavigateError(const std::string& url, int status);
  void Web7_NavigateError(const std::string& url, int status);
  void jia_Click();
  void webe_Click();
  bool M_M1_oncontextmenu(const std::string& href);
  bool M_M3_oncontextmenu(const std::string& href);
  bool M_M5_oncontextmenu(const std::string& href);
  // The catalogue's own context menu (the menu `myMenu` of the tray form).
  void show_catalogue_menu();
  // Search box.
  void soc_Click();
  void soso_KeyDown(int key_code);
  void soso_Click();
  void soso_LostFocus();
  void Form_Click();
  // List actions.
  void qk_Click();
  void qk_xl();
  void qk_xw();
  void CCC();
  void ddd();
  void eee();
  // Shows a text in the status line; the play button's "play again after a stop" rule reads
  // whether the line says the item was stopped.
  void show_status(const std::string& text);
  // The title of what plays, in the transport bar (and compact mode's title).
  void show_title(const std::string& title);
  // Learns the player engine's folder from the settings when it is not known yet.
  void read_player_dir();

  // ---- Link protocol and episode sequencing (web/) ------------------------------------------
  void Web1_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web2_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web3_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web4_BeforeNavigate2(const std::string& url, bool& cancel);
  void Web5_BeforeNavigate2(const std::string& url, bool& cancel);
  // Plays the previous or the next episode now. `finished` runs once the step is over: after
  // the reply has been acted on, when there is nothing to ask, or when a later episode request
  // dropped this one.
  void step_episode(Direction direction, std::function<void()> finished = {});
  // Whether step_episode(direction) has an episode to go to: a network or web-kind episode
  // plays whose number is known, and going back, it is not the first.
  bool can_step_episode(Direction direction) const;
  // The commands of the program's links (the address as it arrived), whichever pane raised them.
  void search_episode(const std::string& url);     // "razavov://"
  void play_episode_link(const std::string& url);  // "eeqvod://"
  void open_list_entry(const std::string& url);    // "open://"
  void delete_list_entry(const std::string& url);  // "delk://"
  void end_of_item();                              // the end-of-playback marker
  // The history list on view in the side panel.
  std::string_view list_on_view() const;
  // The current item plays from the network list (a network or web-kind episode): removing an
  // entry then leaves the episode list pane as it is.
  bool plays_network_item() const;
  // The current item plays as a service page in Web2.
  bool plays_web_page() const;
  // Whether the player engine's terminal program runs, and starting it from `player_dir`.
  bool terminal_running();
  void start_terminal();

  // The playback session: what plays, what follows it, the monitor's and the end's steps.
  playback::Session& session();
  const playback::Session& session() const;

  // ---- Playback (playback/) -----------------------------------------------------------------
  // The player's picture inside `qvod`: shown only while the player plays, with the advert
  // panel `bo_ad` in its place otherwise. The backend mirrors its visibility and geometry onto
  // the video surface of `QvodC`.
  platform::PictureBox player_view{this, "QvodC"};
  // The shutdown menu (`guan` of the tips form), popped up by transport button 6; set by the
  // form that owns the menu, null until then.
  platform::MenuItem* shutdown_menu = nullptr;
  // The other windows the exit routine unloads before this one (the tips form, the floating
  // promotion window, the settings dialog); each registers itself here.
  std::vector<platform::Form*> exit_forms;
  // The exit recommendation window: called by the exit routine with true when
  // `exit_recommendation` is set (show it), with false otherwise (unload it). Unset until the
  // promotion windows exist.
  std::function<void(bool show)> exit_recommendation_hook;

  // The mute button's state, drawn on its tip and cell.
  void show_mute(MuteButton mute, bool paint_cell);
  // The play / pause button offers pause (playing) or play, with its cell painted or not.
  void show_playing(bool playing, bool paint_cell);
  // The status monitor's tick: the transport drawn from what the session reads of the player.
  void Timer1_Timer();
  // The end step begins: the advert panel, "播放完毕", the play button offering play.
  void show_finished();
  // ---- The transport's commands: what a button, a key, a menu entry or the desktop's media
  // controls ask for. Code calls these; nothing presses a button, so the keyboard focus and the
  // hover label stay the user's.
  void stop();
  void toggle_pause();
  void toggle_mute();
  void enter_full_screen();
  void open_file();
  // Seeks by `seconds` from where the item is (Left and Right, the seek bar's arrows).
  void seek_by(int seconds);
  // The episode step of the transport bar: its button stays disabled until the step is over.
  void step_from_bar(Direction direction);
  // Transport buttons, their hover cells, the big play button and the keys.
  void bo_but_Click(int index);
  void bo_but_MouseMove(int index, const platform::MouseEvent& event);
  void adp_Click();
  void Form_KeyDown(int key_code, int shift);
  // Volume bar and seek bar.
  void yin_MouseDown(const platform::MouseEvent& event);
  void bo_y_MouseDown(const platform::MouseEvent& event);
  void bo_v_MouseMove(const platform::MouseEvent& event);
  void gunt_MouseDown(const platform::MouseEvent& event);
  void gunt_MouseUp(const platform::MouseEvent& event);
  void gunt1_MouseMove(const platform::MouseEvent& event);
  void gunt1_MouseUp(const platform::MouseEvent& event);
  void huan_MouseDown(const platform::MouseEvent& event);
  void huan_MouseUp(const platform::MouseEvent& event);
  // Scheduled shutdown: the two items of the shutdown menu, and the armed state.
  void kaiqi_Click();
  void quxiao_Click();
  bool shutdown_armed() const;
  // Asks the system to shut down (forced or not); errors are ignored.
  void shut_down(bool force);
  // Engine housekeeping: the start-up check and the exit routine.
  void Timer3_Timer();
  void ttt_v();
  // What the exit routine does that needs no display, for a program whose X server has gone
  // (the session ended): the item stops and its position is written, the engine's programs end
  // as "qvodk" says, transfers are cancelled. The windows are left alone; the program ends next.
  void end_without_display();

  // ---- The mouse on the player, drops, remembered choices, the shutdown notice (playback/) --
  // The player's picture shows while it plays, and while it is paused unless the advert pane is
  // switched on; the advert panel stands in for it otherwise.
  void show_picture(bool playing, bool paused);
  // The wheel over the picture or the volume bar: 5 % a notch, within 0-100, unmuting.
  void player_Wheel(int delta);
  // Sets the volume (0-100) as the volume bar does: unmutes, moves the bar, shows the status.
  void set_volume_from_user(int percent);
  // The part of a wheel step turned but not yet applied, in notch units times the step.
  int wheel_rest = 0;
  void wire_player_mouse();
  // A right click on the picture pops up the player's menu.
  void player_MouseUp(const platform::MouseEvent& event);
  // Pops up the player's menu (set by the tray layer, which owns the menus).
  std::function<void()> pop_up_player_menu;
  // Something dropped onto the window: paths and addresses as the desktop hands them over.
  // `playable_drop` tells whether a drop would play; `drop` plays the first playable one.
  bool playable_drop(const std::vector<std::string>& items) const;
  void drop(const std::vector<std::string>& items);
  // The volume, mute and the window's place: taken from the settings at load, kept at exit.
  void restore_remembered();
  void keep_remembered();
  // The end of an item with the shutdown armed: a notice counts down before the computer is
  // shut down, and its cancel button disarms the shutdown.
  void announce_shutdown();
  void cancel_shutdown();
  playback::ShutdownNotice& shutdown_notice();
  // The shutdown menu's form sets this to disarm through its menu (its check marks follow).
  std::function<void()> disarm_shutdown;

  // ---- Tray, menus, update check and promotion windows (tray/, promo/, web/update_check) ------
  void Timer5_Timer();  // automatic update check, runs once
  void update_file_arrived(const std::string& body);
  void Timer8_Timer();  // shows the floating promotion window
  // The manual update check of the tray menu: reads the update file again and asks about the
  // version it names; says so when the file cannot be read.
  void shengji();
  // The latest version named by the service's update file; empty until it has been read.
  std::string latest_version;

  // The notification-area icon with the window's caption as its tip, added once by the load
  // handler. The exit routine removes it; while it is not there its clicks are ignored.
  void tray_add();
  void tray_remove();
  // A left click shows, hides or restores the window; a right click pops up the menu `r_m`.
  void tray_left_click();
  void tray_right_click();

  // The other windows, each made on first use and kept for the life of this one (the tips form
  // with every popup menu, the settings dialog, the floating and the exit promotion windows).
  tray::tip& tip_form();
  settings_dialog::BA3& settings_form();
  promo::adsb& float_form();
  promo::ba4& recommend_form();
  // Shows a dialog from a menu: a window pinned on top is unpinned while the dialog opens (so
  // that it does not cover it) and pinned again after; a hidden or minimised window comes back.
  void open_dialog(platform::Form& dialog);

 private:
  enum class UpdateSource { kAutomatic, kManual };
  // Starts the updater beside the program, or hands the service's installer to the desktop,
  // then ends the program without the exit recommendation.
  void start_update(UpdateSource source);
  // Owner of the playback session and its view of this window; defined in playback/.
  struct PlaybackParts;
  struct PlaybackPartsDeleter {
    void operator()(PlaybackParts* parts) const;
  };
  std::unique_ptr<PlaybackParts, PlaybackPartsDeleter> playback_;
  // Owner of the windows above; defined in tray/.
  struct OwnWindows;
  struct OwnWindowsDeleter {
    void operator()(OwnWindows* windows) const;
  };
  std::unique_ptr<OwnWindows, OwnWindowsDeleter> own_windows_;
  OwnWindows& own_windows();

 public:
  // ---- Window shell (shell/) ----------------------------------------------------------------
  // A click on a caption, tab or sub-tab button (0-16).
  void npc_Click(int index);
  // The commands of those buttons.
  void show_tab(Tab tab);
  void toggle_side_panel();
  void close_window();
  void toggle_pin();
  void toggle_maximised();
  // Hover of a caption, tab or sub-tab button: its hover cell, the capture and the hover label.
  void npc_MouseMove(int index, const platform::MouseEvent& event);
  // Drag by the free surface and resize by the 3-pixel border band.
  void Form_MouseDown(const platform::MouseEvent& event);
  void Form_MouseMove(const platform::MouseEvent& event);
  void Form_MouseUp(const platform::MouseEvent& event);
  void Form_DblClick();
  // The window system's move or resize is over: a border resize saves the size.
  void system_drag_ended(const platform::SystemDrag& drag);
  // Leaves compact mode.
  void jbi_Click();
  // 1 puts the window always on top, any other value takes it off; the pin button is the
  // caller's to change.
  void zhi_d(int on_top);
  // The border zones: action 0 the pointer moved, 1 a button was pressed, 2 released.
  void resize_hit(int action, int x, int y);
  // The window's size limits in pixels; a maximum of 0 stands for the screen's size. The
  // layout's own minimum (of the normal or the compact window) is held besides.
  void hook_minmax(int min_width, int min_height, int max_width, int max_height);
  void hold_layout_minimum();
  // The maximise button's tip and picture, and the pin's tip, drawn from the window's state.
  void show_window_state();
  void show_pin();
  // Gives the window its rounded outline.
  void round_window();
  // The layout pass and its parts.
  void Form_Resize();
  void side_panel_split();
  void side_panel_interior();
  void qvod_Resize();  // the player area
  void compact_layout();
  // The skin: loads skin n into the sprite strips ppt and repaints what depends on it.
  void p_p(int skin);
  void paint_frame();
  void paint_compact_frame();
  void paint_all();
  void paint_bottom_bar();
  void paint_side_toggle();
  // Switches the main tab strip and the side panel's sub-tabs.
  void select_tab(int index);
  void select_side_tab(int index, int force);

  // The main menu button pops up the tray form's menu `r_m` at (x, y) in form pixels; the tray
  // form sets this when it is made. Until then the button only repaints.
  std::function<void(int x, int y)> pop_up_main_menu;

 private:
  // Shell helpers.
  void hide_to_tray();
  // The click actions of the tabs, the sub-tabs and the compact-mode button.
  void tab_click(int index);
  // Hides the hover label of a transport button and paints its normal cell (the button goes
  // disabled, or its tip changed under the pointer).
  void refresh_hover_label(int index);
  void enter_compact_mode();
  void save_window_size();
  // Copies a cell of ppt(strip) to button npc(index)'s top-left corner at the cell's size.
  void paint_button(int index, int strip, const platform::Rect& cell);
  void reset_label_colours();
  void release_mouse_capture();
  bool side_panel_shown() const;
  bool size_save_pending_ = false;

 public:
 private:
  // Makes the playback session, once the player exists.
  void wire_session();
  // Each subsystem connects its controls' events to its handlers.
  void wire_web();
  void wire_playback();
  void wire_shell();
  void wire_tray();
  void wire_panes();
  void wire_search_box();
  void wire_list_actions();
  void wire_access();

  // Colours of the window's design (dark surfaces, light text, the two filled bars).
  void apply_design_look();

  bool ended_ = false;
  // The user has been told that list changes wait to be written.
  bool told_not_saved_ = false;
  bool told_settings_not_saved_ = false;
  // Panes whose current document is hooked for its context menu.
  std::set<const platform::WebBrowser*> hooked_panes_;

  platform::Services services_;
  const Configuration& config_;
  std::string program_folder_;
  std::string command_line_;

 public:
  // The update file's request; it goes before the services it uses, and a reply never reaches a
  // window that is gone. (The episode requests are the playback session's.)
  platform::RequestSlot update_request{services_.http};
  // The manual check's own request, so that asking early never drops the automatic check.
  platform::RequestSlot manual_update_request{services_.http};
};

}  // namespace pelmora::app

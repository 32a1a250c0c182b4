#include "app/main_window.h"

#include "app/settings_store.h"
#include "platform/files.h"
#include "platform/instance_channel.h"
#include "platform/screen.h"
#include "platform/tray.h"

namespace pelmora::app {

namespace {

// The placeholder page of the episode list pane while no network video plays.
constexpr std::string_view kNoEpisodeListPage =
    "<html><head><style type=\"text/css\">*{margin:0;padding:0;}body{overflow:auto;"
    "background:#212121;color:#FFFFFF; text-align:center; font-size:12px;width:100%;}</style>"
    "</head><body oncontextmenu=\"return false\" ondragstart=\"return false\"><br>"
    "没有正在播放的网络影片</body></html>";

// The window's design size in twips.
constexpr int kDesignWidth = 13590;
constexpr int kDesignHeight = 8790;

}  // namespace

BA1::BA1(const platform::Services& services, const Configuration& config,
         std::string program_folder, std::string command_line)
    : Form("BA1"),
      services_(services),
      config_(config),
      program_folder_(std::move(program_folder)),
      command_line_(std::move(command_line)) {
  settings_store = settings::Store(settings::settings_path(program_folder_));
  settings_store.on_written([this](bool saved) { settings_written(saved); });
  set_caption("Pelmora");
  move(0, 0, kDesignWidth, kDesignHeight);
  set_twips_per_pixel(services_.screen.twips_per_pixel_x());

  // The container tree the layout works on.
  using Children = std::initializer_list<platform::Control*>;
  const auto place_in = [](platform::Control& container, Children children) {
    for (platform::Control* child : children) child->set_container(&container);
  };
  place_in(*this, {&zz, &zzp, &ying, &yingyong, &xiaoshuo, &soimg, &soso, &soc, &ni_name, &ni_bo1,
                   &jbi, &tj, &dde, &p1});
  place_in(zz, {&L1, &l2, &bo_foot, &npc[6]});
  // While the side panel shows, its 3-pixel toggle lies over the panel's left edge: in front of
  // it, or it could be neither seen nor pressed.
  npc[6].bring_to_front();
  place_in(L1, {&Pic2, &qvod});
  place_in(Pic2, {&Web2});
  place_in(qvod, {&bo_ad, &bo_zt, &gunt});
  // The seek bar holds its thumb and the downloaded share, placed in its own pixels.
  place_in(gunt, {&gunt1, &huan});
  place_in(bo_zt, {&zhun, &times});
  place_in(bo_ad, {&adp, &next_s, &ad_huan});
  place_in(ad_huan, {&Web7});
  bo_but.for_each([this](platform::PictureBox& button) { button.set_container(&bo_foot); });
  place_in(bo_foot, {&bo_name, &yin});
  place_in(yin, {&bo_v, &bo_y});
  place_in(l2, {&Pic3, &Pic4, &Pic5, &shan, &npc[10], &npc[11], &npc[12], &npc[16]});
  place_in(Pic3, {&Web3});
  place_in(Pic4, {&Web4});
  place_in(Pic5, {&Web5});
  place_in(shan, {&qk});
  place_in(zzp, {&Pic1, &wait});
  place_in(Pic1, {&Web1});
  place_in(wait, {&jia, &webe});
  place_in(ying, {&Web9});
  place_in(yingyong, {&Web10});
  place_in(xiaoshuo, {&Web11});
  place_in(tj, {&Web6});
  place_in(p1, {&bo_tip});
  ppt.for_each([](platform::PictureBox& strip) { strip.set_visible(false); });
  // The advert pane shows only when the update file asks for it; until then the big play button
  // is there, not an empty pane over it.
  for (platform::Control* hidden : Children{&tj, &dde, &p1, &ad_huan}) hidden->set_visible(false);
  // At start the home panel covers the catalogue until it has loaded.
  wait.set_visible(true);
  Pic1.set_visible(false);

  apply_design_look();

  on_load = [this] { Form_Load(); };
  // Closing the window from the desktop (its close command, Alt+F4) is the close button.
  on_close_request = [this] { close_window(); };
  wire_session();
  wire_web();
  wire_playback();
  wire_shell();
  wire_tray();
  wire_panes();
  wire_search_box();
  wire_list_actions();
  wire_access();
}

BA1::~BA1() {
  // The session's requests go before the window they answer to.
  playback_.reset();
}

void BA1::apply_design_look() {
  // The window's design colours: dark surfaces under the skin, light text, and the two bars
  // that are labels filled with their colour (the downloaded share and the volume level).
  constexpr platform::Color kSurface = 0x212121;
  constexpr platform::Color kText = 0xD8D8D8;
  constexpr platform::Color kDimText = 0x819C9C;  // 9C9C81, the list pages' text colour
  set_back_color(kSurface);
  for (platform::Control* control : controls()) {
    if (auto* box = dynamic_cast<platform::PictureBox*>(control)) box->set_back_color(kSurface);
    if (auto* label = dynamic_cast<platform::Label*>(control)) {
      label->set_back_color(kSurface);
      label->set_fore_color(kText);
    }
  }
  zhun.set_fore_color(kDimText);
  times.set_fore_color(kDimText);
  webe.set_fore_color(0xFFFFFF);
  next_s.set_fore_color(0xFFFFFF);
  gunt.set_back_color(0x161616);
  huan.set_transparent(false);
  huan.set_back_color(0x585858);
  gunt1.set_back_color(0x227EE8);  // the seek thumb in the skin's orange
  bo_y.set_transparent(false);
  bo_y.set_back_color(0x227EE8);  // E87E22, the skin's orange
  soso.set_back_color(0x2E2E2E);
  soso.set_fore_color(kText);
}

std::string BA1::service_url(std::string_view path) const {
  return config_.service_url + std::string(path);
}

std::string BA1::program_file(std::string_view name) const {
  return platform::files::join(program_folder_, name);
}

void BA1::show_no_episode_list() {
  Web5.navigate("about:blank");
  Web5.write_document(kNoEpisodeListPage);
}

lists::ListPlace BA1::list_place() {
  return lists::ListPlace{program_folder_, this, &list_backlog};
}

void BA1::show_list_page(std::string_view list_file, const std::string& page_path) {
  (list_file == lists::kNetworkList ? Web3 : Web4).navigate(page_path);
}

void BA1::balloon(const std::string& text) {
  services_.tray.balloon("Pelmora提示:", text);
}

void BA1::Form_Load() {
  // A later start hands its command line to the running instance and ends here, before it
  // reads a setting or sends anything to the service.
  if (!services_.channel.claim()) {
    services_.channel.send(command_line_);
    ended_ = true;
    discard();
    return;
  }
  services_.channel.listen([this](const std::string& command) { Form_LinkExecute(command); });

  // Maximising fills the work area, never the panels. (A borderless window can always be
  // minimised and maximised by the desktop here; nothing needs to be switched on for that.)
  const platform::Rect work_area = services_.screen.work_area();
  hook_minmax(0, 0, work_area.width, work_area.height);

  chrome.skin_loaded = 0;
  const settings::Settings& options = settings_store.get();
  user_id = options.user_id;
  version = options.version;
  if (options.restores_size()) {
    set_width(static_cast<int>(options.width_twips));
    set_height(static_cast<int>(options.height_twips));
  }
  chrome.cur_tab = 8;
  chrome.cur_side_tab = 12;
  p_p(0);

  Web1.navigate(config_.service_url);
  Web2.navigate("about:blank");
  Web3.navigate(program_file(lists::kNetworkPage));
  Web4.navigate(program_file(lists::kLocalPage));
  show_no_episode_list();
  Web6.navigate(service_url("tj/tj.asp?id=") + user_id);
  Web9.navigate("about:blank");
  Web7.navigate(service_url("js/ads/qvodad.html"));
  Web11.navigate(config_.novel_site);
  Web10.navigate(config_.apps_site);

  tray_add();

  chrome.tv_page = 0;
  chrome.home_error = 0;
  chrome.ad_error = 0;
  exit_recommendation = false;
  set_key_preview(true);
  restore_remembered();
  if (!command_line_.empty()) l_com(command_line_);
}

}  // namespace pelmora::app

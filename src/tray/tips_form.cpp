#include "tray/tips_form.h"

#include <initializer_list>
#include <string>

#include "app/main_window.h"
#include "platform/key_codes.h"
#include "platform/launcher.h"
#include "settings_dialog/settings_dialog.h"

namespace pelmora::tray {

namespace {

// Design size of the tips panel, in twips.
constexpr int kDesignWidth = 5430;
constexpr int kDesignHeight = 2700;
// Where every page sits, in twips, whatever size the panel has.
constexpr platform::Rect kPageTwips{120, 720, 5055, 1095};
// Rows of hints inside a page, in pixels.
constexpr int kRowHeight = 20;
constexpr int kRowTop[3] = {4, 28, 52};

// A top-level menu: never in a menu bar, so it is invisible, and captioned with its own name.
void make_top_level(platform::MenuItem& menu, std::initializer_list<platform::MenuItem*> items) {
  menu.set_caption(menu.name());
  menu.set_visible(false);
  for (platform::MenuItem* item : items) menu.add_item(*item);
}

}  // namespace

tip::tip(app::BA1& main_window) : Form("tip"), main_(main_window) {
  set_caption("帮助提示");
  move(0, 0, kDesignWidth, kDesignHeight);
  set_twips_per_pixel(main_window.twips_per_pixel());
  set_visible(false);
  build_menus();
  wire_menus();
  build_panel();
  on_load = [this] { Form_Load(); };
  on_resize = [this] { Form_Resize(); };
  // Shown, the panel is a dialog of the main window: Escape and Enter close it, and its free
  // surface drags it.
  set_owner(&main_window);
  set_key_preview(true);
  on_key_down = [this](int key_code, int) {
    if (key_code == platform::keys::kEscape || key_code == platform::keys::kReturn)
      cmdclose_Click();
  };
  on_mouse_down = [this](const platform::MouseEvent& event) {
    if (event.button == platform::MouseButton::kLeft) start_system_move();
  };
}

void tip::build_menus() {
  const std::initializer_list<std::pair<platform::MenuItem*, const char*>> captions = {
      {&ht, "后退"},
      {&qj, "前进"},
      {&sx, "刷新"},
      {&sss, "-"},
      {&fz, "复制"},
      {&zt, "粘贴"},
      {&zy, "主页"},
      {&shezhi, "软件设置"},
      {&about, "关于我们"},
      {&guanf, "官方主页"},
      {&aa12, "-"},
      {&help, "帮助提示"},
      {&shengji, "升级检测"},
      {&aa122, "-"},
      {&qsoft, "退出软件"},
      {&kaiqi, "开启播放完自动关机"},
      {&quxiao, "取消播放完自动关机"},
      {&green, "黑色冷酷"},
      {&blue, "蓝色经典"},
      {&kafei, "咖啡色调"},
      {&c_f, "播放选定"},
      {&c_shan, "删除任务"},
      {&ttbn, "-"},
      {&c_shan2, "删除下载"},
      {&renwub, "删除任务列表"},
      {&wenjianb, "管理下载文件"},
  };
  for (const auto& [item, caption] : captions) item->set_caption(caption);
  make_top_level(myMenu, {&ht, &qj, &sx, &sss, &fz, &zt, &zy});
  make_top_level(r_m, {&shezhi, &about, &guanf, &aa12, &help, &shengji, &aa122, &qsoft});
  make_top_level(guan, {&kaiqi, &quxiao});
  make_top_level(pifu, {&green, &blue, &kafei});
  make_top_level(webc, {&c_f, &c_shan, &ttbn, &c_shan2});
  make_top_level(c_fie, {&renwub, &wenjianb});
  // Shutdown after playback is off at start.
  quxiao.set_checked(true);
}

void tip::wire_menus() {
  app::BA1& w = main_;
  // The catalogue pane's own commands.
  ht.on_click = [&w] { w.Web1.go_back(); };
  qj.on_click = [&w] { w.Web1.go_forward(); };
  sx.on_click = [&w] { w.Web1.refresh(); };
  zy.on_click = [&w] { w.Web1.navigate(w.config().service_url); };
  fz.on_click = [&w] { w.Web1.copy(); };
  zt.on_click = [&w] { w.Web1.paste(); };

  shezhi.on_click = [&w] {
    settings_dialog::BA3& dialog = w.settings_form();
    w.open_dialog(dialog);
    dialog.d_z_Click(1);
    dialog.set_focus();
  };
  about.on_click = [&w] {
    settings_dialog::BA3& dialog = w.settings_form();
    w.open_dialog(dialog);
    dialog.d_z_Click(0);
    dialog.set_focus();
  };
  help.on_click = [this, &w] {
    w.open_dialog(*this);
    set_focus();
  };
  guanf.on_click = [&w] { w.services().launcher.open_address(w.config().maker_home_page); };
  shengji.on_click = [&w] { w.shengji(); };
  qsoft.on_click = [&w] { w.ttt_v(); };

  kaiqi.on_click = [this, &w] {
    kaiqi.set_checked(true);
    quxiao.set_checked(false);
    w.kaiqi_Click();
  };
  quxiao.on_click = [this] { disarm_shutdown(); };

  green.on_click = [&w] { w.p_p(0); };
  blue.on_click = [&w] { w.p_p(1); };
  kafei.on_click = [&w] { w.p_p(2); };

  c_f.on_click = [&w] { w.CCC(); };
  c_shan.on_click = [&w] { w.ddd(); };
  c_shan2.on_click = [&w] { w.eee(); };
  renwub.on_click = [&w] { w.qk_xl(); };
  wenjianb.on_click = [&w] { w.qk_xw(); };
}

void tip::build_panel() {
  Label1.set_caption("你知道吗");
  Label1.move(8, 8, 120, 24);

  // Each hint: its page, its row, and where it starts and ends across the row (pixels).
  struct Hint {
    int label;
    int page;
    int row;
    int left;
    int width;
    const char* text;
  };
  constexpr Hint kHints[] = {
      {0, 0, 0, 4, 330, "Pelmora可以播放本机影音文件了"},
      {1, 0, 1, 4, 110, "点击播放器下方的"},
      {2, 0, 1, 140, 190, "打开本地电脑上的文件就可以播放"},
      {3, 0, 2, 4, 330, "播放过的文件保存在[本地列表]中，方便下次观看"},
      {4, 1, 0, 4, 330, "影片播放时，可以用键盘方向键来调整影片进度和音量"},
      {5, 1, 1, 4, 160, "方向键→ 影片快进"},
      {6, 1, 1, 170, 160, "方向键← 影片快退"},
      {7, 1, 2, 4, 105, "方向键↑增大音量"},
      {8, 1, 2, 112, 105, "方向键↓减小音量"},
      {9, 1, 2, 220, 110, "空格键暂停/播放"},
      {10, 2, 0, 4, 330, "鼠标放到软件边框上,按住鼠标左键,可以拉伸调整界面大小"},
      {11, 2, 1, 4, 330, "你可以在软件设置中选择退出时是否保存软件界面大小"},
      {12, 2, 2, 4, 330, "下次打开软件时，界面大小就是你保存的大小"},
      {13, 3, 0, 4, 330, "右侧网络任务列表中是你观看过的网络影片列表"},
      {14, 3, 1, 4, 330, "软件列表中的影片保存了你上次观看的集数和进度条"},
      {15, 3, 2, 4, 330, "点击列表中的影片会直接从你上次退出时保存的进度播放"},
      {16, 4, 0, 4, 330, "Pelmora是以快播(Qvod)为核心的播放软件"},
      {17, 4, 1, 4, 330, "快播是边看边下的方式，影片缓存位置可以在软件设置中修改"},
      {18, 4, 2, 4, 330, "记得定时删除你下载过的影片。以免硬盘不足，影响观看。"},
  };
  for (const Hint& hint : kHints) {
    platform::Label& label = La[hint.label];
    label.set_container(&Pi[hint.page]);
    label.set_caption(hint.text);
    label.move(hint.left, kRowTop[hint.row], hint.width, kRowHeight);
  }
  Image1.set_container(&Pi[0]);
  Image1.move(114, kRowTop[1], 24, kRowHeight);
  // The picture of the open-file button the hint speaks of (the skin's transport strip).
  button_strip.set_visible(false);
  button_strip.set_picture("117");
  Image1.draw_cell(button_strip, {25, 0, 24, 24}, {0, 0, 24, 24});

  La[21].set_caption("第");
  La[22].set_caption("1");
  La[23].set_caption("条");
  La[21].move(8, 132, 16, kRowHeight);
  La[22].move(24, 132, 20, kRowHeight);
  La[23].move(44, 132, 16, kRowHeight);
  cmdnext.set_caption("下一条(&N)");
  cmdnext.move(184, 128, 80, 26);
  cmdclose.set_caption("关闭(&C)");
  cmdclose.move(272, 128, 80, 26);
  cmdnext.on_click = [this] { cmdnext_Click(); };
  cmdclose.on_click = [this] { cmdclose_Click(); };
}

void tip::Form_Load() {
  // A form comes back from an unload as designed: the first page, counted "1".
  page_ = 0;
  for (int index = 0; index < kPages; ++index) Pi[index].set_visible(index == 0);
  La[22].set_caption("1");
  Form_Resize();
}

void tip::Form_Resize() {
  const int twips = twips_per_pixel();
  for (int index = 0; index < kPages; ++index) {
    Pi[index].move(kPageTwips.left / twips, kPageTwips.top / twips, kPageTwips.width / twips,
                   kPageTwips.height / twips);
  }
}

void tip::disarm_shutdown() {
  kaiqi.set_checked(false);
  quxiao.set_checked(true);
  main_.quxiao_Click();
}

void tip::cmdnext_Click() {
  for (int index = 0; index < kPages; ++index) Pi[index].set_visible(false);
  if (page_ > kPages - 2) page_ = -1;
  ++page_;
  Pi[page_].set_visible(true);
  La[22].set_caption(std::to_string(page_ + 1));
}

void tip::cmdclose_Click() {
  unload();
}

}  // namespace pelmora::tray

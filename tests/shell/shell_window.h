#pragma once

#include <string>
#include <vector>

#include "app/main_window.h"
#include "support/main_window_fixture.h"

namespace pelmora::testing {

// The main window as start-up leaves it: loaded, with its size limits from the work area, skin 0
// loaded and laid out at its size.
class ShellTest : public MainWindowTest {
 protected:
  app::BA1& open_shell(const std::string& command_line = "") {
    app::BA1& ba1 = open_window(command_line);
    lay_out(ba1);
    return ba1;
  }

  // Sizes the window as the window system does after a user's resize (twips).
  static void resize_to(app::BA1& ba1, int width_twips, int height_twips) {
    ba1.move(ba1.left(), ba1.top(), width_twips, height_twips);
    ba1.raise_resize();
  }

  // The pointer comes to rest over the middle of a control.
  static void hover(app::BA1& ba1, const platform::Control& control) {
    const platform::Rect place = ba1.form_rect(control);
    ba1.pointer().move(place.left + place.width / 2, place.top + place.height / 2);
  }

  static platform::MouseEvent mouse(int x, int y,
                                    platform::MouseButton button = platform::MouseButton::kNone) {
    return platform::MouseEvent{button, 0, x, y};
  }

  // The copy that shows at (x, y) of a surface, as "ppt(i) x,y wxh".
  template <typename Surface>
  static std::string shown_at(const Surface& surface, int x = 0, int y = 0) {
    const platform::CellCopy* copy = surface.cell_at(x, y);
    if (copy == nullptr) return "nothing";
    return copy->source + " " + std::to_string(copy->from.left) + "," +
           std::to_string(copy->from.top) + " " + std::to_string(copy->from.width) + "x" +
           std::to_string(copy->from.height);
  }

  // What every surface of the window shows, for comparing the whole window before and after.
  static std::vector<platform::CellCopy> all_copies(app::BA1& ba1) {
    std::vector<platform::CellCopy> copies = ba1.cells();
    const auto add = [&copies](platform::PictureBox& box) {
      copies.push_back({box.source_name() + " picture=" + box.picture(), {}, {}, false});
      copies.insert(copies.end(), box.cells().begin(), box.cells().end());
    };
    ba1.npc.for_each(add);
    ba1.bo_but.for_each(add);
    ba1.ppt.for_each(add);
    for (platform::PictureBox* box : {&ba1.bo_foot, &ba1.yin, &ba1.bo_v}) add(*box);
    return copies;
  }
};

}  // namespace pelmora::testing

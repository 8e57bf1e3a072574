// menu.cpp -- placeholder until the menu drawing lands.
#include "render/render.h"

namespace render {

MenuLayout menu_layout(const MenuView& view, int, int height) {
  MenuLayout layout;
  layout.text_height = 16;
  layout.count = static_cast<int>(view.lines.size());
  for (int i = 0; i < layout.count; ++i) {
    layout.lines.push_back(HudBox{40, static_cast<float>(height - 60 - 18 * i), 400, 16});
  }
  return layout;
}

int menu_line_at(const MenuView& view, int width, int height, float x, float y) {
  const MenuLayout layout = menu_layout(view, width, height);
  const float up = static_cast<float>(height) - y;
  for (int i = 0; i < layout.count; ++i) {
    const HudBox& b = layout.lines[static_cast<std::size_t>(i)];
    if (view.lines[static_cast<std::size_t>(i)].item && b.h > 0 && x >= b.x && x < b.x + b.w &&
        up >= b.y && up < b.y + b.h)
      return i;
  }
  return -1;
}

void draw_menu(const MenuView&, int, int) {}

void draw_progress_screen(const char*, const char*, int, int) {}

}  // namespace render

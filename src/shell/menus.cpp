// menus.cpp -- the front end's pages: their items, navigation, and the actions that start
// races and change settings.
//
// Pages are built afresh from the settings whenever they are needed (a key, a pointer
// move, a frame), so an item always shows the value the settings hold, whoever changed it.
#include "shell/menus.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/catalogue.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/startup.h"
#include "shell/track_list.h"
#include "sim/sim.h"

namespace shell {

MenuState g_menu;

namespace {

enum ItemKind { kButton, kChoice, kNumber, kText, kBindingItem };

struct Item {
  ItemKind kind = kButton;
  std::string label;
  bool enabled = true;
  std::function<void()> action;  // a button's
  // A choice: its names and the chosen index.
  const std::vector<std::string>* names = nullptr;
  std::function<int()> get_index;
  std::function<void(int)> set_index;
  int picker = -1;  // the list picker the choice opens, or -1
  NumberSetting* number = nullptr;
  std::string* text = nullptr;
  std::size_t text_max = 0;
  int binding = -1;
  std::function<std::string()> shown;  // a display value after the setting's own
  std::function<void()> changed;       // after every change
};

struct Page {
  std::string title;
  std::vector<std::string> headings;  // lines above the items
  std::vector<Item> items;
  std::vector<std::string> footer;
};

// The choices the list picker opens for, with the picker page's titles.
enum Picker {
  kPickBike,
  kPickGear,
  kPickHelmet,
  kPickBikeGraphics,
  kPickWheelGraphics,
  kPickTrack
};
constexpr const char* kPickerTitles[] = {"Choose Bike",           "Choose Riding Gear",
                                         "Choose Helmet",         "Choose Bike Graphics",
                                         "Choose Wheel Graphics", "Choose Track"};

// The fixed menu keys, by their names.
struct MenuKeys {
  unsigned up, down, left, right, enter, keypad_enter, space, page_up, page_down;
};
const MenuKeys& menu_keys() {
  static const MenuKeys keys = {
      platform::key_code_for_name("up"),        platform::key_code_for_name("down"),
      platform::key_code_for_name("left"),      platform::key_code_for_name("right"),
      platform::key_code_for_name("enter"),     platform::key_code_for_name("keypad enter"),
      platform::key_code_for_name("space"),     platform::key_code_for_name("page up"),
      platform::key_code_for_name("page down"),
  };
  return keys;
}

void mark_setup_changed() { g_menu.setup_changed = true; }

void graphics_changed() { apply_render_settings(); }

// A graphics setting the renderer only takes at start-up.
void restart_needed() {
  g_menu.restart_note = true;
  apply_render_settings();
}

Item button(const std::string& label, std::function<void()> action, bool enabled = true) {
  Item item;
  item.label = label;
  item.action = std::move(action);
  item.enabled = enabled;
  return item;
}

Item go_to(const std::string& label, int page) {
  return button(label, [page] { menu_show(page); });
}

Item choice_item(ChoiceSetting& setting, std::function<void()> changed = nullptr, int picker = -1) {
  Item item;
  item.kind = kChoice;
  item.label = setting.label;
  item.names = &setting.names;
  ChoiceSetting* s = &setting;
  item.get_index = [s] { return s->index; };
  item.set_index = [s](int i) { s->index = i; };
  item.changed = std::move(changed);
  item.picker = picker;
  return item;
}

Item number_item(NumberSetting& setting, std::function<void()> changed = nullptr,
                 std::function<std::string()> shown = nullptr) {
  Item item;
  item.kind = kNumber;
  item.label = setting.label;
  item.number = &setting;
  item.changed = std::move(changed);
  item.shown = std::move(shown);
  return item;
}

Item text_item(const std::string& label, std::string& text, std::size_t max,
               std::function<void()> changed) {
  Item item;
  item.kind = kText;
  item.label = label;
  item.text = &text;
  item.text_max = max;
  item.changed = std::move(changed);
  return item;
}

// The choice a list picker sets, as an item (the picker page and the calling page share it).
Item picker_item(int picker) {
  RiderSetup& r = g_rider_setup;
  switch (picker) {
    case kPickBike:
      return choice_item(
          r.bike,
          [] {
            // Another bike has other paint: its own variants, starting from the default.
            rebuild_bike_graphics(g_rider_setup);
            mark_setup_changed();
          },
          kPickBike);
    case kPickGear:
      return choice_item(r.rider_texture, mark_setup_changed, kPickGear);
    case kPickHelmet:
      return choice_item(r.head_texture, mark_setup_changed, kPickHelmet);
    case kPickBikeGraphics:
      return choice_item(r.bike_texture, mark_setup_changed, kPickBikeGraphics);
    case kPickWheelGraphics:
      return choice_item(r.wheel_texture, mark_setup_changed, kPickWheelGraphics);
    default: {
      Item item;
      item.kind = kChoice;
      item.label = "Track";
      item.names = &g_tracks.names;
      item.get_index = [] { return g_settings.track_index; };
      item.set_index = [](int i) {
        if (i < 0 || i >= static_cast<int>(g_tracks.directories.size())) return;
        g_settings.track_index = i;
        g_settings.track = g_tracks.directories[static_cast<std::size_t>(i)];
      };
      item.picker = kPickTrack;
      return item;
    }
  }
}

// The lineup of the New Race page: Gates 1 to 40 in slots 0 to 39, the rest empty, turned
// by "--rotate-lineup".
void new_race_lineup(int lineup[kRiderSlots]) {
  for (int i = 0; i < kRiderSlots; ++i) lineup[i] = 0;
  for (int i = 0; i < kLineupSlots; ++i) lineup[i] = g_settings.slots[i].index;
  const int turns = ((g_startup.lineup_rotation % kRiderSlots) + kRiderSlots) % kRiderSlots;
  for (int t = 0; t < turns; ++t) rotate_lineup(lineup);
}

void start_new_race() {
  int lineup[kRiderSlots];
  new_race_lineup(lineup);
  menu_show(kPageNone);
  const int minutes_ticks =
      static_cast<int>(g_settings.minutes.value * 60.0 * sim::kTicksPerSecond);
  setup_race(lineup, false, g_settings.record.index == 1, minutes_ticks,
             static_cast<int>(g_settings.laps.value), g_settings.skill.index);
}

void start_time_trial() {
  menu_show(kPageNone);
  setup_race(nullptr, false, false, 0, 1000, g_settings.skill.index);
}

Page main_page() {
  Page p;
  p.title = "Korvex";
  // Pages whose features are not built yet are shown, but cannot be opened.
  p.items = {go_to("New Race", kPageNewRace),
             go_to("Playback Race", kPagePlayback),
             button("Points Series", nullptr, false),
             go_to("Time Trial", kPageTimeTrial),
             button("Multiplayer", nullptr, false),
             go_to("Bike Setup", kPageBikeSetup),
             go_to("Graphics/Sound Setup", kPageGraphics),
             go_to("Customize Controls", kPageControls),
             go_to("Quit", kPageExit)};
  return p;
}

Page new_race_page() {
  Page p;
  p.title = "New Race";
  // What Minutes and Laps make of the race: "15 minutes + 2 laps", "5 laps".
  race::RaceRules length;
  length.duration = static_cast<int>(g_settings.minutes.value * 60.0 * sim::kTicksPerSecond);
  length.extra_laps = static_cast<int>(g_settings.laps.value);
  char text[64];
  race::race_length_text(length, text, sizeof text);
  p.headings.push_back(text);
  p.items = {button("Start", start_new_race), go_to("Back to Main Menu", kPageMain),
             picker_item(kPickTrack),         number_item(g_settings.laps),
             number_item(g_settings.minutes), choice_item(g_settings.skill)};
  p.items.push_back(choice_item(g_settings.record));
  for (ChoiceSetting& gate : g_settings.slots) p.items.push_back(choice_item(gate));
  return p;
}

int demo_pages() {
  const int count = static_cast<int>(g_demos.paths.size());
  return std::max(1, (count + kListPageEntries - 1) / kListPageEntries);
}

// Plays a demo of the list: alone, or with the local rider racing its riders.
void play_demo(const std::string& path) {
  const std::string name = "@" + path;
  std::string track;
  if (!race::read_demo(name.c_str(), track)) return;
  g_race.playback_file = name;
  g_race.playback_track = track;
  int lineup[kRiderSlots] = {};
  bool record = false;
  if (g_settings.playback_mode.index == 1) {
    // The rider takes the first gate set to Human, else the first gate.
    int slot = 0;
    for (int i = 0; i < kLineupSlots; ++i) {
      if (g_settings.slots[i].index == 1) {
        slot = i;
        break;
      }
    }
    lineup[slot] = 1;
    record = g_settings.record.index == 1;
  }
  menu_show(kPageNone);
  setup_race(lineup, true, record, 0, 10, g_settings.skill.index);
}

Page playback_page() {
  Page p;
  p.title = "Playback Race";
  const int pages = demo_pages();
  const int page = std::clamp(g_menu.demo_page, 0, pages - 1);
  if (g_demos.paths.empty()) {
    p.headings.push_back("No demos recorded yet");
  } else {
    p.headings.push_back("Page " + std::to_string(page + 1) + " of " + std::to_string(pages));
  }
  p.items = {
      go_to("Back to Main Menu", kPageMain), choice_item(g_settings.playback_mode),
      button(
          "Next Page", [] { g_menu.demo_page = std::min(g_menu.demo_page + 1, demo_pages() - 1); },
          page + 1 < pages),
      button(
          "Prev Page", [] { g_menu.demo_page = std::max(g_menu.demo_page - 1, 0); }, page > 0)};
  const int first = page * kListPageEntries;
  const int end = std::min(first + kListPageEntries, static_cast<int>(g_demos.paths.size()));
  for (int i = first; i < end; ++i) {
    const std::string path = g_demos.paths[static_cast<std::size_t>(i)];
    p.items.push_back(
        button(g_demos.names[static_cast<std::size_t>(i)], [path] { play_demo(path); }));
  }
  return p;
}

Page time_trial_page() {
  Page p;
  p.title = "Time Trial";
  p.items = {button("Start", start_time_trial), picker_item(kPickTrack),
             choice_item(g_settings.time_trial_abort),
             number_item(g_settings.ghost_fade_distance, graphics_changed),
             go_to("Back to Main Menu", kPageMain)};
  return p;
}

Page bike_setup_page() {
  RiderSetup& r = g_rider_setup;
  Page p;
  p.title = "Bike Setup";
  p.items = {go_to("Back to Main Menu", kPageMain),
             go_to("Suspension and Gearing", kPageSuspension),
             go_to("Advanced Stability Setup", kPageStability),
             picker_item(kPickBike),
             text_item("Name", r.name, kSetupNameMax, mark_setup_changed),
             text_item("Number", r.number, kSetupNumberMax, mark_setup_changed),
             picker_item(kPickGear),
             picker_item(kPickHelmet),
             picker_item(kPickBikeGraphics),
             picker_item(kPickWheelGraphics),
             number_item(r.stability, [] {
               apply_stability_preset(g_rider_setup);
               mark_setup_changed();
             })};
  for (ChoiceSetting* c :
       {&r.arcade, &r.front_brake, &r.rear_brake, &r.stop_wheelies, &r.auto_shift, &r.auto_dab,
        &r.auto_align, &r.sticky_dab, &r.reverse_steering, &r.lean_indicator}) {
    p.items.push_back(choice_item(*c, mark_setup_changed));
  }
  for (NumberSetting* n : {&r.auto_clutch_rpms, &r.max_dab_speed}) {
    p.items.push_back(number_item(*n, mark_setup_changed));
  }
  return p;
}

// The value an adjustment selects on the chosen bike ("0.412 kg/mm").
std::function<std::string()> display(SetupDisplay which) {
  return [which] {
    const BikeInfo* info = find_bike_info(g_rider_setup.bike.name().c_str());
    return info ? setup_display_value(g_rider_setup, *info, which) : std::string();
  };
}

Page suspension_page() {
  RiderSetup& r = g_rider_setup;
  Page p;
  p.title = "Suspension and Gearing";
  p.items = {
      number_item(r.fork_compression_adjustment, mark_setup_changed),
      number_item(r.fork_rebound_adjustment, mark_setup_changed),
      number_item(r.fork_spring_rate_adjustment, mark_setup_changed, display(kShowForkSpringRate)),
      number_item(r.fork_preload_adjustment, mark_setup_changed, display(kShowForkPreload)),
      number_item(r.fork_oil_level_adjustment, mark_setup_changed, display(kShowForkOilLevel)),
      number_item(r.shock_compression_adjustment, mark_setup_changed),
      number_item(r.shock_rebound_adjustment, mark_setup_changed),
      number_item(r.shock_spring_rate_adjustment, mark_setup_changed,
                  display(kShowShockSpringRate)),
      number_item(r.shock_preload_adjustment, mark_setup_changed, display(kShowShockPreload)),
      number_item(r.front_sprocket_adjustment, mark_setup_changed, display(kShowCountershaft)),
      number_item(r.rear_sprocket_adjustment, mark_setup_changed, display(kShowRearSprocket)),
      number_item(r.brake_torque, mark_setup_changed),
      number_item(r.rear_brake_torque, mark_setup_changed),
      number_item(r.rider_yspring, mark_setup_changed),
      number_item(r.rider_ydamping, mark_setup_changed),
      number_item(r.rider_zspring, mark_setup_changed),
      number_item(r.rider_zdamping, mark_setup_changed),
      number_item(r.rider_mass_distribution, mark_setup_changed),
      go_to("Back to Bike Setup Menu", kPageBikeSetup)};
  return p;
}

Page stability_page() {
  RiderSetup& r = g_rider_setup;
  Page p;
  p.title = "Advanced Stability Setup";
  for (NumberSetting* n :
       {&r.leveling, &r.roll_damping, &r.roll_limit_angle, &r.roll_limit_factor,
        &r.steering_damping, &r.steering_strength, &r.max_steering_force, &r.direct_steering,
        &r.slow_damping_speed, &r.slow_damping_factor, &r.land_damping_falloff,
        &r.land_damping_factor, &r.full_lock_speed, &r.restricted_lock_speed, &r.restricted_lock}) {
    p.items.push_back(number_item(*n, mark_setup_changed));
  }
  p.items.push_back(go_to("Back to Bike Setup Menu", kPageBikeSetup));
  return p;
}

Page controls_page() {
  Page p;
  p.title = "Customize Controls";
  for (int i = 0; i < kBindings; ++i) {
    Item item;
    item.kind = kBindingItem;
    item.label = g_settings.bindings[i].label;
    item.binding = i;
    p.items.push_back(item);
  }
  p.items.push_back(go_to("Back to Main Menu", kPageMain));
  return p;
}

std::string availability(bool available) { return available ? "Available" : "Not Available"; }

Page graphics_page() {
  Page p;
  p.title = "Graphics/Sound Setup";
  p.headings.push_back(current_graphics_text(g_settings));
  if (g_menu.restart_note)
    p.headings.push_back("Some settings will not take effect until next restart");
  Item video = choice_item(g_settings.video_mode);
  p.items.push_back(video);
  p.items.push_back(button("Switch To Selected Mode Now", [] { switch_video_mode(); }));
  const struct {
    const char* label;
    int preset;
  } presets[] = {{"Use High Detail Settings", kHighDetail},
                 {"Use Normal Settings", kNormal},
                 {"Use High FPS Settings", kHighFps},
                 {"Use Compatibility Settings", kCompatibility}};
  for (const auto& preset : presets) {
    const int which = preset.preset;
    p.items.push_back(button(preset.label, [which] {
      apply_graphics_preset(g_settings, which);
      g_startup.roost_frequency = static_cast<int>(std::lround(g_settings.roost_density.value));
      restart_needed();
    }));
  }
  p.items.push_back(go_to("Advanced Graphics Setup", kPageAdvancedGraphics));
  p.items.push_back(number_item(g_settings.volume));
  p.items.push_back(number_item(g_settings.comp_volume));
  p.items.push_back(number_item(g_settings.fov));
  p.items.push_back(number_item(g_settings.first_person_height));
  p.items.push_back(number_item(g_settings.first_person_angle));
  p.items.push_back(choice_item(g_settings.hide_rider, graphics_changed));
  p.items.push_back(number_item(g_settings.third_person_height));
  p.items.push_back(number_item(g_settings.third_person_distance));
  p.items.push_back(choice_item(g_settings.rigid_camera));
  p.items.push_back(go_to("Back to Main Menu", kPageMain));
  const render::GlCaps& caps = render::g_gl_caps;
  p.footer = {"Driver info:", caps.vendor, caps.renderer, caps.version};
  return p;
}

Page advanced_graphics_page() {
  const render::GlCaps& caps = render::g_gl_caps;
  const bool programs = caps.vertex_shader && caps.fragment_shader;
  Page p;
  p.title = "Advanced Graphics Setup";
  Item method = choice_item(g_settings.render_texture, graphics_changed);
  // Software builds the ground's textures on the processor; the hardware methods draw them
  // into textures, the shader ones with the programs.
  method.shown = [programs] {
    const int m = g_settings.render_texture.index;
    const bool ok =
        m == 0 || (m <= 2 ? render::g_gl_caps.framebuffer_object || m == 1
                          : programs && (render::g_gl_caps.framebuffer_object || m == 3));
    return availability(ok);
  };
  p.items.push_back(method);
  Item shaders = choice_item(g_settings.use_shader, restart_needed);
  shaders.shown = [programs] { return availability(programs); };
  p.items.push_back(shaders);
  Item mipmaps = choice_item(g_settings.ground_mipmaps, graphics_changed);
  mipmaps.shown = [] { return availability(render::g_gl_caps.generate_mipmap); };
  p.items.push_back(mipmaps);
  p.items.push_back(number_item(g_settings.roost_density, [] {
    g_startup.roost_frequency = static_cast<int>(std::lround(g_settings.roost_density.value));
  }));
  p.items.push_back(choice_item(g_settings.reflections, graphics_changed));
  p.items.push_back(choice_item(g_settings.lens_flare, graphics_changed));
  p.items.push_back(number_item(g_settings.model_texture_detail, restart_needed));
  p.items.push_back(number_item(g_settings.model_detail, restart_needed));
  Item compress = choice_item(g_settings.texture_compress, restart_needed);
  compress.shown = [] {
    return availability(
        render::has_extension(render::g_gl_caps.extensions.c_str(), "GL_ARB_texture_compression"));
  };
  p.items.push_back(compress);
  p.items.push_back(choice_item(g_settings.ground_texture_dim, restart_needed));
  p.items.push_back(number_item(g_settings.ground_texture_detail, graphics_changed));
  p.items.push_back(number_item(g_settings.ground_detail, graphics_changed));
  p.items.push_back(go_to("Back to Graphics/Sound Menu", kPageGraphics));
  return p;
}

int list_size() {
  const Item item = picker_item(g_menu.list_choice);
  return item.names ? static_cast<int>(item.names->size()) : 0;
}

int list_pages() { return std::max(1, (list_size() + kListPageEntries - 1) / kListPageEntries); }

void close_list() {
  const int page = g_menu.list_return_page, selected = g_menu.list_return_selected;
  menu_show(page);
  g_menu.selected = selected;
}

Page list_page() {
  const Item choice = picker_item(g_menu.list_choice);
  Page p;
  p.title = kPickerTitles[std::clamp(g_menu.list_choice, 0, 5)];
  const int count = list_size();
  const int first = g_menu.list_page * kListPageEntries;
  for (int i = first; i < std::min(count, first + kListPageEntries); ++i) {
    p.items.push_back(button((*choice.names)[static_cast<std::size_t>(i)], [i] {
      const Item c = picker_item(g_menu.list_choice);
      c.set_index(i);
      if (c.changed) c.changed();
      close_list();
    }));
  }
  p.items.push_back(button(
      "Next Page", [] { ++g_menu.list_page; }, g_menu.list_page + 1 < list_pages()));
  p.items.push_back(button(
      "Prev Page", [] { --g_menu.list_page; }, g_menu.list_page > 0));
  p.items.push_back(button("Cancel", close_list));
  return p;
}

Page exit_page() {
  Page p;
  p.title = "Korvex";
  p.footer = {"Press any key to exit or ESC to keep playing"};
  return p;
}

Page build_page(int page) {
  switch (page) {
    case kPageMain:
      return main_page();
    case kPageNewRace:
      return new_race_page();
    case kPageList:
      return list_page();
    case kPageTimeTrial:
      return time_trial_page();
    case kPagePlayback:
      return playback_page();
    case kPageBikeSetup:
      return bike_setup_page();
    case kPageSuspension:
      return suspension_page();
    case kPageStability:
      return stability_page();
    case kPageControls:
      return controls_page();
    case kPageGraphics:
      return graphics_page();
    case kPageAdvancedGraphics:
      return advanced_graphics_page();
    case kPageExit:
      return exit_page();
    default:
      return Page{};
  }
}

// A number as the menus show it: whole numbers bare, others with at most four decimals.
std::string format_number(double value) {
  char text[64];
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
    return text;
  }
  std::snprintf(text, sizeof text, "%.4f", value);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  return s;
}

std::string binding_text(int index) {
  if (capturing_binding() && g_menu.selected == index && g_menu.page == kPageControls) {
    return "Press a key or move an axis...";
  }
  const Binding& b = g_settings.bindings[index];
  if (!b.axis.empty()) return b.axis + (b.b < 0 ? " (Negative)" : " (Positive)");
  if (!b.key.empty()) return b.key;
  return "None";
}

std::string item_value(const Item& item, bool selected) {
  std::string value;
  switch (item.kind) {
    case kButton:
      return "";
    case kChoice: {
      const int i = item.get_index();
      if (item.names && i >= 0 && i < static_cast<int>(item.names->size())) {
        value = (*item.names)[static_cast<std::size_t>(i)];
      }
      break;
    }
    case kNumber:
      value = format_number(item.number->value);
      break;
    case kText:
      value = *item.text + (selected ? "_" : "");
      break;
    case kBindingItem:
      value = binding_text(item.binding);
      break;
  }
  if (item.shown) {
    const std::string extra = item.shown();
    if (!extra.empty()) value += "   (" + extra + ")";
  }
  return value;
}

void after_change(const Item& item) {
  if (item.changed) item.changed();
}

// Left and right: a choice to the previous or next name, a number by its step.
void step(const Item& item, int direction) {
  if (!item.enabled) return;
  if (item.kind == kChoice && item.names && !item.names->empty()) {
    const int last = static_cast<int>(item.names->size()) - 1;
    const int now = item.get_index();
    const int next = std::clamp(now + direction, 0, last);
    if (next == now) return;
    item.set_index(next);
    after_change(item);
  } else if (item.kind == kNumber) {
    NumberSetting& n = *item.number;
    const double next = std::clamp(n.value + direction * n.step, n.minimum, n.maximum);
    if (next == n.value) return;
    n.value = next;
    after_change(item);
  }
}

void activate(const Item& item) {
  if (!item.enabled) return;
  switch (item.kind) {
    case kButton:
      if (item.action) item.action();
      break;
    case kChoice:
      if (item.picker >= 0) {
        const int index = std::max(0, item.get_index());
        g_menu.list_return_page = g_menu.page;
        g_menu.list_return_selected = g_menu.selected;
        menu_show(kPageList);
        g_menu.list_choice = item.picker;
        g_menu.list_page = std::min(index / kListPageEntries, list_pages() - 1);
      } else if (item.names && !item.names->empty()) {
        // A click on a plain choice steps it round, so the mouse alone can set it.
        const int count = static_cast<int>(item.names->size());
        item.set_index((item.get_index() + 1) % count);
        after_change(item);
      }
      break;
    case kBindingItem:
      begin_binding_capture(item.binding);
      break;
    default:
      break;
  }
}

void type_character(const Item& item, unsigned character) {
  if (item.kind != kText || !item.enabled) return;
  std::string& text = *item.text;
  if (character == 8) {
    if (text.empty()) return;
    text.pop_back();
  } else if (character >= 32 && character != 127 && text.size() < item.text_max) {
    text.push_back(static_cast<char>(character));
  } else {
    return;
  }
  after_change(item);
}

// Moves the selection by one item, passing over disabled ones; it stays when there is no
// enabled item that way.
void move_selection(const Page& page, int direction) {
  const int count = static_cast<int>(page.items.size());
  for (int i = g_menu.selected + direction; i >= 0 && i < count; i += direction) {
    if (page.items[static_cast<std::size_t>(i)].enabled) {
      g_menu.selected = i;
      return;
    }
  }
}

render::MenuView view_of(const Page& page, double total_seconds) {
  render::MenuView view;
  view.title = page.title;
  for (const std::string& heading : page.headings) {
    render::MenuLine line;
    line.label = heading;
    line.item = false;
    view.lines.push_back(line);
  }
  for (std::size_t i = 0; i < page.items.size(); ++i) {
    const Item& item = page.items[i];
    render::MenuLine line;
    line.label = item.label;
    line.selected = static_cast<int>(i) == g_menu.selected;
    line.value = item_value(item, line.selected);
    line.enabled = item.enabled;
    view.lines.push_back(line);
  }
  view.footer = page.footer;
  // The message lines (what the menus' actions report) stand under the page while it is
  // open, in place of the riding HUD's.
  if (g_menu.page != kPageExit) {
    for (int i = 0; i < platform::visible_message_count(); ++i) {
      view.footer.push_back(platform::visible_message(i));
    }
  }
  if (g_menu.page == kPageMain) {
    view.notice_alpha = static_cast<float>(std::clamp(10.0 - total_seconds, 0.0, 1.0));
  }
  view.exit_screen = g_menu.page == kPageExit;
  view.pointer = g_menu.pointer_shown;
  view.pointer_x = g_menu.pointer_x;
  view.pointer_y = g_menu.pointer_y;
  return view;
}

// The item under the pointer, or -1.
int pointer_item = -1;

// A controller's buttons steer the menu through the bindings they are bound to.
int controller_direction(unsigned code, bool& activate_it) {
  activate_it = false;
  auto bound = [code](int binding) {
    const Binding& b = g_settings.bindings[binding];
    return !b.key.empty() && platform::key_code_for_name(b.key.c_str()) == code;
  };
  if (bound(kUpshiftKey) || bound(kLeanForwardKey)) return -1;
  if (bound(kDownshiftKey) || bound(kLeanBackwardKey)) return 1;
  if (bound(kLeftKey)) return -2;
  if (bound(kRightKey)) return 2;
  if (bound(kThrottleKey)) activate_it = true;
  return 0;
}

}  // namespace

void menu_show(int page) {
  // The demos open on their last page, where the newest names usually are.
  if (page == kPagePlayback && g_menu.page != kPagePlayback) g_menu.demo_page = demo_pages() - 1;
  g_menu.page = page;
  g_menu.selected = 0;
  if (page != kPageNone) g_menu.ever_shown = true;
  pointer_item = -1;
  if (page == kPageNone) g_menu.pointer_shown = false;
  if (page != kPageList) g_menu.list_choice = -1;
  // The first item may be one that cannot be used yet.
  const Page built = build_page(page);
  if (!built.items.empty() && !built.items.front().enabled) move_selection(built, 1);
}

void menu_press(unsigned code) {
  if (g_menu.page == kPageNone) return;
  if (g_menu.page == kPageExit) {
    // Any key but Esc (which the frame loop takes) ends the program; typed characters come
    // with their keys, and releases never reach here.
    if (code >= 256) g_menu.exit_confirmed = true;
    return;
  }
  const Page page = build_page(g_menu.page);
  if (page.items.empty()) return;
  g_menu.selected = std::clamp(g_menu.selected, 0, static_cast<int>(page.items.size()) - 1);
  const Item& item = page.items[static_cast<std::size_t>(g_menu.selected)];
  const MenuKeys& keys = menu_keys();
  if (code < 256) {
    type_character(item, code);
  } else if (code == keys.up) {
    move_selection(page, -1);
  } else if (code == keys.down) {
    move_selection(page, 1);
  } else if (code == keys.left) {
    step(item, -1);
  } else if (code == keys.right) {
    step(item, 1);
  } else if (code == keys.enter || code == keys.keypad_enter || code == keys.space) {
    activate(item);
  } else if (code == platform::kMouseLeft || code == platform::kMouseRight) {
    // A click acts on what is under the pointer; the right button steps back.
    if (pointer_item < 0 || pointer_item >= static_cast<int>(page.items.size())) return;
    g_menu.selected = pointer_item;
    const Item& pointed = page.items[static_cast<std::size_t>(pointer_item)];
    if (code == platform::kMouseLeft) {
      activate(pointed);
    } else {
      step(pointed, -1);
    }
  } else if (code >= 65536) {
    bool activate_it = false;
    const int direction = controller_direction(code, activate_it);
    if (direction == -1 || direction == 1) move_selection(page, direction);
    if (direction == -2 || direction == 2) step(item, direction / 2);
    if (activate_it) activate(item);
  }
}

void menu_pointer(float x, float y, int width, int height) {
  if (g_menu.page == kPageNone) return;
  g_menu.pointer_shown = true;
  g_menu.pointer_x = x;
  g_menu.pointer_y = y;
  const Page page = build_page(g_menu.page);
  const render::MenuView view = view_of(page, 0);
  const int line = render::menu_line_at(view, width, height, x, y);
  const int item = line - static_cast<int>(page.headings.size());
  pointer_item = line >= 0 && item >= 0 && item < static_cast<int>(page.items.size()) ? item : -1;
  if (pointer_item >= 0 && page.items[static_cast<std::size_t>(pointer_item)].enabled) {
    g_menu.selected = pointer_item;
  }
}

render::MenuView menu_view(double total_seconds) {
  return view_of(build_page(g_menu.page), total_seconds);
}

int menu_item_count() { return static_cast<int>(build_page(g_menu.page).items.size()); }

std::string menu_item_label(int i) {
  const Page page = build_page(g_menu.page);
  if (i < 0 || i >= static_cast<int>(page.items.size())) return "";
  return page.items[static_cast<std::size_t>(i)].label;
}

std::string menu_item_value(int i) {
  const Page page = build_page(g_menu.page);
  if (i < 0 || i >= static_cast<int>(page.items.size())) return "";
  return item_value(page.items[static_cast<std::size_t>(i)], false);
}

bool menu_typing() {
  if (g_menu.page == kPageNone) return false;
  const Page page = build_page(g_menu.page);
  return g_menu.selected >= 0 && g_menu.selected < static_cast<int>(page.items.size()) &&
         page.items[static_cast<std::size_t>(g_menu.selected)].kind == kText;
}

void menu_tick(double total_seconds) {
  if (!g_menu.setup_changed) return;
  // Without a bike of the player's own the change waits for the next race's set-up, which
  // hands the whole setup over anyway.
  if (!g_race.race_loaded || g_race.local_slot < 0) {
    g_menu.setup_changed = false;
    return;
  }
  RiderSlot& slot = g_race.slots[g_race.local_slot];
  if (!slot.bike || !slot.info) {
    g_menu.setup_changed = false;
    return;
  }
  BikeAdjustments adjustments;
  if (!mechanic_apply(g_mechanic, g_rider_setup, *slot.info, std::fabs(sim::frame_speed(slot.bike)),
                      total_seconds, false, &adjustments)) {
    return;  // tried again each tick until the bike stands still
  }
  apply_bike_adjustments(slot.bike, adjustments);
  g_menu.setup_changed = false;
}

}  // namespace shell

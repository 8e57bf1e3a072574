// menus_test.cpp -- the front end driven through the tick step's key handling, as a player
// drives it: navigation, starting races, the list picker, presets, bindings, text, the exit
// screen and the pointer.
#include <gtest/gtest.h>

#include <SDL.h>

#include <cmath>
#include <string>
#include <vector>

#include "../sim/terrain_fixtures.h"
#include "platform/input_internal.h"
#include "platform/platform.h"
#include "race/race.h"
#include "render/render.h"
#include "shell/menus.h"
#include "shell/race_driver.h"
#include "shell/rider_setup.h"
#include "shell/settings.h"
#include "shell/track_list.h"
#include "support/test_support.h"

namespace {

class MenuTest : public test_support::DataFoldersTest {
 protected:
  void SetUp() override {
    DataFoldersTest::SetUp();
    if (!platform::create_window("Korvex test", 96, 64, 24, 16, false)) {
      const std::string why = std::string("no window: ") + platform::last_platform_error();
      if (test_support::require_display()) GTEST_FAIL() << why;
      GTEST_SKIP() << why;
    }
    window_open = true;
    shell::g_settings = shell::default_settings();
    shell::g_rider_setup = shell::default_rider_setup();
    shell::g_menu = shell::MenuState{};
    shell::g_race = shell::RaceDriver{};
    shell::g_tracks = shell::TrackList{{"practice", "rabbithill"}, {"Practice", "Rabbit Hill"}};
    shell::g_settings.track = "practice";
    shell::g_settings.track_index = 0;
    shell::main_loop_begin();
    platform::clear_events();
  }
  void TearDown() override {
    shell::free_bikes();
    race::track_free();
    shell::g_race = shell::RaceDriver{};
    shell::g_menu = shell::MenuState{};
    if (window_open) platform::close_window();
    DataFoldersTest::TearDown();
  }
  // Presses and releases one key (or queues one typed character) and runs a tick step.
  void key(const char* name) { code(platform::key_code_for_name(name)); }
  void code(unsigned c) {
    ms += 10;
    platform::Event event;
    event.code = c;
    event.pressed = 1;
    event.seconds = ms / 1000;
    event.microseconds = (ms % 1000) * 1000;
    platform::queue_event(event);
    if (c >= 256) {
      event.pressed = 0;
      event.microseconds += 1000;
      platform::queue_event(event);
    }
    shell::tick_step(ms / 1000.0 + 0.005);
  }
  void keys(const std::vector<const char*>& names) {
    for (const char* name : names) key(name);
  }
  std::string selected_label() { return shell::menu_item_label(shell::g_menu.selected); }
  // Selects the item with this label by pressing down from the top of the page.
  void select(const std::string& label) {
    for (int i = 0; i < 60 && selected_label() != label; ++i) key("down");
    ASSERT_EQ(selected_label(), label);
  }
  void write_practice_track() {
    home.write(
        "practice/terrain.hf",
        terrain_fixtures::track_with(2, 8.0f, 0, 10, std::vector<std::uint16_t>(81, 0)).terrain_hf);
    home.write("practice/shadingx2.ppm", terrain_fixtures::ppm(9, 9, 100));
    home.write("practice/tilemap", std::string(16, '\0'));
    home.write("practice/tileinfo", "texture @dirt.png\naddtile\n");
  }
  bool window_open = false;
  unsigned ms = 100;
};

}  // namespace

// Up and down stay on the page and pass over items that cannot be used yet; left and right
// step choices and numbers within their range.
TEST_F(MenuTest, NavigationStaysOnThePage) {
  struct Case {
    const char* title;
    std::vector<const char*> keys;  // after Esc opened the main menu
    const char* selected;
    int page;
  } cases[] = {
      {"up on the first item keeps it", {"up"}, "New Race", shell::kPageMain},
      {"down passes over the disabled items", {"down", "down"}, "Time Trial", shell::kPageMain},
      {"down on the last item keeps it",
       {"down", "down", "down", "down", "down", "down", "down", "down", "down"},
       "Quit",
       shell::kPageMain},
      {"enter opens the page", {"enter"}, "Start", shell::kPageNewRace},
      {"keypad enter too", {"keypad enter"}, "Start", shell::kPageNewRace},
      {"and space", {"down", "down", "space"}, "Start", shell::kPageTimeTrial},
      {"the playback page opens on its list",
       {"down", "enter"},
       "Back to Main Menu",
       shell::kPagePlayback},
      {"Record Demo can be chosen",
       {"enter", "down", "down", "down", "down", "down", "down"},
       "Record Demo",
       shell::kPageNewRace},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    shell::g_menu = shell::MenuState{};
    key("esc");
    ASSERT_EQ(shell::g_menu.page, shell::kPageMain);
    keys(c.keys);
    EXPECT_EQ(shell::g_menu.page, c.page);
    EXPECT_EQ(selected_label(), c.selected);
    key("esc");
    EXPECT_EQ(shell::g_menu.page, shell::kPageNone);
  }

  // Numbers by their step within the range, choices to the neighbouring name.
  key("esc");
  key("enter");
  select("Laps");
  struct Step {
    const char* key;
    double laps;
  } steps[] = {{"left", 4}, {"right", 5}, {"right", 6}};
  for (const Step& s : steps) {
    key(s.key);
    EXPECT_EQ(shell::g_settings.laps.value, s.laps) << s.key;
  }
  shell::g_settings.laps.value = 50;
  key("right");
  EXPECT_EQ(shell::g_settings.laps.value, 50);
  // The page's heading says what Minutes and Laps make of the race.
  EXPECT_EQ(shell::menu_view(0).lines[0].label, "50 laps");
  shell::g_settings.minutes.value = 15;
  shell::g_settings.laps.value = 2;
  EXPECT_EQ(shell::menu_view(0).lines[0].label, "15 minutes + 2 laps");
  select("Gate 1");
  key("left");
  EXPECT_EQ(shell::g_settings.slots[0].name(), "Empty");
  keys({"right", "right", "right"});
  EXPECT_EQ(shell::g_settings.slots[0].name(), "Robot (2 stroke)");
  EXPECT_EQ(shell::menu_item_value(shell::g_menu.selected), "Robot (2 stroke)");
}

// New Race with the default gates: six riders in slots 17 to 22, the player in slot 19 with
// the keyboard; Time Trial: the player alone, a thousand laps.
TEST_F(MenuTest, StartingRacesFromTheMenus) {
  write_practice_track();
  shell::g_settings.minutes.value = 2;
  keys({"esc", "enter", "enter"});
  EXPECT_EQ(shell::g_menu.page, shell::kPageNone);
  ASSERT_TRUE(shell::g_race.race_loaded);
  std::vector<int> occupied;
  for (int slot = 0; slot < shell::kRiderSlots; ++slot) {
    if (shell::g_race.slots[slot].bike) occupied.push_back(slot);
  }
  EXPECT_EQ(occupied, (std::vector<int>{17, 18, 19, 20, 21, 22}));
  EXPECT_EQ(shell::g_race.local_slot, 19);
  EXPECT_EQ(shell::g_race.watched, 19);
  EXPECT_EQ(shell::g_race.slots[19].driver, shell::kDriverLocal);
  EXPECT_EQ(shell::g_race.slots[18].driver, shell::kDriverAutoPilot);
  EXPECT_EQ(shell::g_race.laps, 5);
  EXPECT_EQ(shell::g_race.time_limit, 2 * 60 * 128);
  EXPECT_FALSE(shell::g_race.time_trial);

  // The keyboard now rides the player's bike.
  shell::g_race.start_tick = 0;
  ms += 10;
  platform::Event event;
  event.code = platform::key_code_for_name("x");
  event.pressed = 1;
  event.seconds = ms / 1000;
  event.microseconds = (ms % 1000) * 1000;
  platform::queue_event(event);
  shell::tick_step(ms / 1000.0 + 0.005);
  EXPECT_EQ(shell::g_race.slots[19].bike->controls.throttle, 1);
  event.pressed = 0;
  platform::queue_event(event);
  shell::tick_step(ms / 1000.0 + 0.006);

  keys({"esc", "down", "down", "enter"});
  ASSERT_EQ(shell::g_menu.page, shell::kPageTimeTrial);
  key("enter");
  ASSERT_TRUE(shell::g_race.race_loaded);
  EXPECT_TRUE(shell::g_race.time_trial);
  EXPECT_EQ(shell::g_race.laps, 1000);
  EXPECT_EQ(shell::g_race.time_limit, 0);
  EXPECT_EQ(shell::g_race.local_slot, 0);
}

// A setup change from the menus reaches the player's bike at rest through the mechanic, with
// the value it selects shown beside it.
TEST_F(MenuTest, AChangedSetupReachesTheStandingBike) {
  write_practice_track();
  keys({"esc", "enter", "enter"});
  ASSERT_TRUE(shell::g_race.race_loaded);
  sim::Bike* bike = shell::g_race.slots[19].bike;
  ASSERT_NE(bike, nullptr);
  const double before = bike->fork_spring_rate;
  key("esc");
  select("Bike Setup");
  key("enter");
  select("Suspension and Gearing");
  key("enter");
  select("Fork Spring Rate");
  const std::string shown = shell::menu_item_value(shell::g_menu.selected);
  EXPECT_NE(shown.find("50   ("), std::string::npos) << shown;
  EXPECT_NE(shown.find(" kg/mm)"), std::string::npos) << shown;
  keys({"right", "right"});
  EXPECT_EQ(shell::g_rider_setup.fork_spring_rate_adjustment.value, 52);
  // The bike is still settling onto the grid: the mechanic waits until it stands.
  for (int tick = 0; tick < 5 * 128 && shell::g_menu.setup_changed; ++tick) {
    shell::tick_step((ms += 8) / 1000.0);
  }
  EXPECT_FALSE(shell::g_menu.setup_changed);
  EXPECT_LE(std::fabs(sim::frame_speed(bike)), 0.125);
  EXPECT_GT(bike->fork_spring_rate, before);
}

// The list picker: pages of twenty, the choice set on Enter and the calling page back; a new
// bike brings its own paint list, from "default".
TEST_F(MenuTest, TheListPickerChoosesABike) {
  shell::g_rider_setup.bike_texture.names = {"default", "450sxfv2013-red.png"};
  shell::g_rider_setup.bike_texture.index = 1;
  keys({"esc"});
  select("Bike Setup");
  key("enter");
  select("Bike");
  key("enter");
  ASSERT_EQ(shell::g_menu.page, shell::kPageList);
  EXPECT_EQ(shell::menu_view(0).title, "Choose Bike");
  EXPECT_EQ(shell::menu_item_count(), shell::kListPageEntries + 3);
  EXPECT_EQ(shell::menu_item_label(0), "450sxf(2013)");
  select("Next Page");
  key("enter");
  EXPECT_EQ(shell::menu_item_label(0), shell::g_rider_setup.bike.names[20]);
  key("up");  // the picker keeps its place: "Prev Page" is next to "Next Page"
  select("Prev Page");
  key("enter");
  EXPECT_EQ(shell::menu_item_label(0), "450sxf(2013)");

  for (int i = 0; i < 40; ++i) key("up");
  key("down");
  key("enter");
  EXPECT_EQ(shell::g_menu.page, shell::kPageBikeSetup);
  EXPECT_EQ(selected_label(), "Bike");
  EXPECT_EQ(shell::g_rider_setup.bike.name(), "crf450(2013)");
  EXPECT_EQ(shell::g_rider_setup.bike_texture.name(), "default");

  // Cancel leaves the choice as it was.
  key("enter");
  select("Cancel");
  key("enter");
  EXPECT_EQ(shell::g_menu.page, shell::kPageBikeSetup);
  EXPECT_EQ(shell::g_rider_setup.bike.name(), "crf450(2013)");
}

// A preset sets the twelve graphics settings and the heading names it; one change after it
// makes the settings "Custom".
TEST_F(MenuTest, GraphicsPresetsNameTheCurrentSettings) {
  const struct {
    const char* button;
    int preset;
    const char* heading;
  } cases[] = {
      {"Use High Detail Settings", shell::kHighDetail, "Current Settings: High Detail"},
      {"Use Normal Settings", shell::kNormal, "Current Settings: Normal"},
      {"Use High FPS Settings", shell::kHighFps, "Current Settings: High FPS"},
      {"Use Compatibility Settings", shell::kCompatibility, "Current Settings: Compatibility"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    shell::g_menu = shell::MenuState{};
    key("esc");
    select("Graphics/Sound Setup");
    key("enter");
    select(c.button);
    key("enter");
    EXPECT_EQ(shell::current_graphics_preset(shell::g_settings), c.preset);
    const render::MenuView view = shell::menu_view(0);
    ASSERT_FALSE(view.lines.empty());
    EXPECT_FALSE(view.lines[0].item);
    EXPECT_EQ(view.lines[0].label, c.heading);
    key("esc");
  }
  key("esc");
  select("Graphics/Sound Setup");
  key("enter");
  select("Advanced Graphics Setup");
  key("enter");
  select("Ground Geometric Detail");
  key("left");
  EXPECT_EQ(shell::current_graphics_preset(shell::g_settings), -1);
  select("Back to Graphics/Sound Menu");
  key("enter");
  EXPECT_EQ(shell::menu_view(0).lines[0].label, "Current Settings: Custom");
}

// The controls page waits for a key or an axis and shows what it took.
TEST_F(MenuTest, BindingsAreCapturedFromAKeyAndAnAxis) {
  key("esc");
  select("Customize Controls");
  key("enter");
  select("Throttle");
  key("enter");
  EXPECT_TRUE(shell::capturing_binding());
  key("q");
  EXPECT_FALSE(shell::capturing_binding());
  EXPECT_EQ(platform::key_code_for_name(shell::menu_item_value(shell::g_menu.selected).c_str()),
            platform::key_code_for_name("q"));
  EXPECT_EQ(shell::g_menu.page, shell::kPageControls);

  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0) << SDL_GetError();
  platform::input_devices_open();
  SDL_VirtualJoystickDesc desc{};
  desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
  desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
  desc.naxes = 2;
  desc.nbuttons = 2;
  desc.name = "Joystick 1.";
  const int index = SDL_JoystickAttachVirtualEx(&desc);
  ASSERT_GE(index, 0) << SDL_GetError();
  platform::Event event;
  while (platform::next_event(&event)) {
  }
  SDL_Joystick* joystick = SDL_JoystickOpen(index);
  ASSERT_NE(joystick, nullptr);
  select("Front Brake");
  key("enter");
  ASSERT_TRUE(shell::capturing_binding());
  SDL_JoystickSetVirtualAxis(joystick, 0, -30000);
  SDL_JoystickUpdate();
  shell::tick_step((ms += 10) / 1000.0);
  EXPECT_FALSE(shell::capturing_binding());
  EXPECT_EQ(shell::menu_item_value(shell::g_menu.selected), "Joystick1.axis[0] (Negative)");

  SDL_JoystickClose(joystick);
  SDL_JoystickDetachVirtual(index);
  while (platform::next_event(&event)) {
  }
  shell::g_settings = shell::default_settings();
  shell::main_loop_begin();
  platform::input_devices_close();
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

// Typed characters edit a text item within its length; Backspace takes one off. The
// screenshot key types too while a text item is selected.
TEST_F(MenuTest, TextItemsTakeTypedCharacters) {
  shell::g_rider_setup.number = "12";
  key("esc");
  select("Bike Setup");
  key("enter");
  select("Number");
  EXPECT_TRUE(shell::menu_typing());
  code(8);
  code('7');
  code('s');
  code('9');  // past the three characters a number may have
  EXPECT_EQ(shell::g_rider_setup.number, "17s");
  EXPECT_FALSE(test_support::file_exists(xdg.file(user_file("screenshot001.png"))));
}

// Quit opens the exit screen: Esc goes back to the game, any other key ends the program.
TEST_F(MenuTest, TheExitScreenEndsOnAnyKeyButEsc) {
  key("esc");
  select("Quit");
  key("enter");
  EXPECT_EQ(shell::g_menu.page, shell::kPageExit);
  EXPECT_TRUE(shell::menu_view(0).exit_screen);
  key("esc");
  EXPECT_EQ(shell::g_menu.page, shell::kPageNone);
  EXPECT_FALSE(shell::g_menu.exit_confirmed);
  key("esc");
  select("Quit");
  key("enter");
  key("a");
  EXPECT_TRUE(shell::g_menu.exit_confirmed);
}

// The pointer selects what it is over, and a click there acts on it.
TEST_F(MenuTest, ThePointerSelectsAndClicks) {
  key("esc");
  const int width = 640, height = 480;
  const render::MenuView view = shell::menu_view(0);
  const render::MenuLayout layout = render::menu_layout(view, width, height);
  // The lines of the main menu are its items: find "Time Trial" and point at its middle.
  int line = -1;
  for (std::size_t i = 0; i < view.lines.size(); ++i) {
    if (view.lines[i].label == "Time Trial") line = static_cast<int>(i);
  }
  ASSERT_GE(line, 0);
  const render::HudBox& box = layout.lines[static_cast<std::size_t>(line)];
  ASSERT_GT(box.h, 0);
  shell::menu_pointer(box.x + box.w / 2, height - (box.y + box.h / 2), width, height);
  EXPECT_EQ(selected_label(), "Time Trial");
  EXPECT_TRUE(shell::menu_view(0).pointer);
  code(platform::kMouseLeft);
  EXPECT_EQ(shell::g_menu.page, shell::kPageTimeTrial);
  // Off every item a click does nothing.
  shell::menu_pointer(1, 1, width, height);
  code(platform::kMouseLeft);
  EXPECT_EQ(shell::g_menu.page, shell::kPageTimeTrial);
}

// menus.h -- the front end: menu pages over the scene, their items, keys and actions
// (private to the shell).
//
// A page is a list of items bound to settings or to actions. The frame loop hands the menu
// every key pressed while a page is open (Esc excepted: the loop opens and closes pages
// with it), the pointer's moves and clicks, and draws the page the menu describes.
#pragma once

#include <string>

#include "render/render.h"

namespace shell {

enum MenuPage {
  kPageNone = -1,
  kPageMain = 0,
  kPageNewRace = 1,
  kPageList = 2,
  kPagePlayback = 3,
  kPageSeries = 4,
  kPageStandings = 5,
  kPageTimeTrial = 6,
  kPageBikeSetup = 7,
  kPageSuspension = 8,
  kPageStability = 9,
  kPageControls = 10,
  kPageGraphics = 11,
  kPageAdvancedGraphics = 12,
  kPageMultiplayer = 13,
  kPageChat = 16,
  kPageExit = 18,
};

// Entries the list picker shows at a time.
constexpr int kListPageEntries = 20;

struct MenuState {
  int page = kPageNone;
  int selected = 0;  // index into the page's items
  // The list picker: which choice it sets, the page of entries shown, and where it returns.
  int list_choice = -1;
  int list_page = 0;
  int list_return_page = kPageNone;
  int list_return_selected = 0;
  int demo_page = 0;            // the page of demos the Playback Race page shows
  bool exit_confirmed = false;  // the exit screen took a key: the program ends
  bool setup_changed = false;   // the mechanic has a change to hand the local bike
  bool restart_note = false;
  bool ever_shown = false;  // a page has been open: the hint at Esc is no longer drawn    // "Some
                            // settings will not take effect until next restart"
  // The mouse pointer: shown once it moves while a page is open, in window pixels.
  bool pointer_shown = false;
  float pointer_x = 0, pointer_y = 0;
};

extern MenuState g_menu;

// Opens a page with its first item selected (kPageNone closes the menu).
void menu_show(int page);

// A pressed key, button or typed character while a page is open (not Esc).
void menu_press(unsigned code);
// The pointer moved to window pixel (x, y) (upper left origin): it is shown, and the item
// under it is selected.
void menu_pointer(float x, float y, int width, int height);

// What the renderer draws for the open page; `total_seconds` fades the notice.
render::MenuView menu_view(double total_seconds);

// The open page's items: their count, and item `i`'s label and shown value ("" out of
// range).
int menu_item_count();
std::string menu_item_label(int i);
std::string menu_item_value(int i);
// Whether the selected item takes typed text (the screenshot key then types instead).
bool menu_typing();

// Per tick: hands a changed rider setup to the local bike through the mechanic.
void menu_tick(double total_seconds);

}  // namespace shell

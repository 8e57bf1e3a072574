// hud.cpp -- the riding HUD's pictures: tachometer, shifter, pit board, title.
#include "content/content.h"

namespace content {

void write_hud(Output&) {}

}  // namespace content

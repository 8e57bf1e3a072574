// world.cpp -- the physics world (to come with the bike physics).
#include "sim/sim.h"

namespace sim {

void create_world() {}

}  // namespace sim

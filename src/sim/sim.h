// sim.h -- the simulation: terrain, bike and rider physics, ground contact, rider aids.
//
// Nothing here reads the wall clock or anything from render/ or sound/.
#pragma once

namespace sim {

// Creates the physics world (gravity (0, -32, 0) ft/s^2) and its contact
// group. Called once at start-up.
void create_world();

}  // namespace sim

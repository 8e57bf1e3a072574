// world.cpp -- the physics world, its contact group and the order of one simulation tick.
#include "sim/bike_internal.h"

namespace sim {

SimState g_sim;

namespace {
dWorldID g_world = nullptr;
dJointGroupID g_contacts = nullptr;
}  // namespace

void create_world() {
  if (g_world) return;
  dInitODE2(0);
  g_world = dWorldCreate();
  dWorldSetGravity(g_world, 0, -32, 0);
  dWorldSetERP(g_world, 0.2);
  dWorldSetCFM(g_world, 1e-10);
  g_contacts = dJointGroupCreate(0);
}

void destroy_world() {
  if (!g_world) return;
  dJointGroupDestroy(g_contacts);
  dWorldDestroy(g_world);
  g_world = nullptr;
  g_contacts = nullptr;
  dCloseODE();
}

dWorldID physics_world() {
  create_world();
  return g_world;
}

dJointGroupID contact_group() {
  create_world();
  return g_contacts;
}

void simulate_tick(Bike* const* bikes, int count, BikeControlHook before_step, void* context) {
  for (int i = 0; i < count; ++i) {
    if (bikes[i]->presence > 0.25f && !bikes[i]->replayed) bike_collide(bikes[i]);
  }
  for (int i = 0; i < count; ++i) {
    for (int j = i + 1; j < count; ++j) {
      if (bikes[i]->replayed && bikes[j]->replayed) continue;
      if (bikes[i]->presence > 0.25f && bikes[j]->presence > 0.25f) {
        bike_bike_collide(bikes[i], bikes[j]);
      }
    }
  }
  // Roost in a rotating order so that a full particle pool does not always starve the same bikes.
  for (int i = 0; i < count; ++i) {
    Bike* bike = bikes[(i + g_sim.tick) % count];
    if (bike->presence > 0.25f) roost_emit(bike, true);
  }
  dWorldStep(physics_world(), kTickSeconds);
  dJointGroupEmpty(contact_group());
  if (g_sim.erosion_scale > 0) {
    for (int i = 0; i < count; ++i) {
      if (bikes[i]->presence <= 0.25f || bikes[i]->replayed) continue;
      erosion_record(bikes[i]);
      erosion_apply(bikes[i]);
    }
  }
  for (int i = 0; i < count; ++i) {
    if (before_step) before_step(bikes[i], context);
    bike_step(bikes[i]);
  }
  particles_update();
  ++g_sim.tick;
}

}  // namespace sim

// cameras.cpp -- what the cameras are given of the race and the settings each tick and
// frame; the camera maths is the renderer's.
#include "render/render.h"
#include "shell/frame_loop.h"
#include "shell/race_driver.h"
#include "shell/settings.h"
#include "shell/shell.h"
#include "shell/startup.h"

namespace shell {

render::CameraInput camera_input() {
  render::CameraInput in;
  const RiderSlot& slot = g_race.slots[g_race.watched];
  in.watched = slot.bike;
  in.watched_slot = g_race.watched;
  in.watched_local = slot.driver == kDriverLocal;
  in.watched_sequence_position = watched_sequence_position();
  in.tick = sim::g_sim.tick;
  in.paused = game_paused();
  in.fov = g_settings.fov.value;
  in.first_person_height = g_settings.first_person_height.value;
  in.first_person_angle = g_settings.first_person_angle.value;
  in.third_person_height = g_settings.third_person_height.value;
  in.third_person_distance = g_settings.third_person_distance.value;
  in.rigid_camera = g_settings.rigid_camera.name() == "Yes";
  for (int i = 0; i < 3; ++i) in.chase_center[i] = g_startup.chase_center[i];
  in.print_orientation = g_startup.print_orientation;
  return in;
}

render::CameraControls camera_controls(const float inputs[kControlInputs]) {
  render::CameraControls c;
  c.steer = inputs[kInputSteer];
  c.throttle = inputs[kInputThrottle];
  c.front_brake = inputs[kInputFrontBrake];
  c.shift = inputs[kInputShift];
  c.dab = inputs[kInputDab];
  return c;
}

void camera_draw_view(int view) {
  const render::Camera camera = render::camera_for_view(view, camera_input());
  update_scene_input(view);
  render::draw_scene(camera);
  // Over a track camera's view the running order's ticker goes here once the results
  // display provides it.
}

}  // namespace shell

// flaggers.cpp -- the flaggers file: the start flagger, the finish flagger and the course flaggers.
#include <string>

#include "data/data.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

namespace {

bool read_name(data::DataStream* stream, std::string& name) {
  char text[1024];
  if (data::ds_scanf(stream, " %1023s ", text) != 1) return false;
  name = text;
  return true;
}

// Reads up to `count` names into `textures`; the first creates the flagger's billboard.
// Returns false at the first missing name.
bool read_flagger_names(data::DataStream* stream, Track& track, float x, float y_offset, float z,
                        float size, float width_factor, int* billboard, std::string* textures,
                        int count) {
  if (!read_name(stream, textures[0])) return false;
  *billboard = add_billboard(track, x, y_offset, z, size, width_factor, textures[0]);
  for (int i = 1; i < count; ++i) {
    if (!read_name(stream, textures[i])) return false;
  }
  return true;
}

int clamp_checkpoint(int n, int count) {
  if (n < -1) return -1;
  if (n > count - 1) return count - 1;
  return n;
}

}  // namespace

void read_flaggers(data::DataStream* stream, Track& track) {
  if (!stream) return;
  StartFlagger& start = track.flaggers.start;
  float p[3], q[3], size, width_factor, duration;
  if (data::ds_scanf(stream, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &p[0], &p[1], &p[2], &q[0],
                     &q[1], &q[2], &size, &width_factor, &duration) != 9 ||
      !all_finite({p[0], p[1], p[2], q[0], q[1], q[2], size, width_factor, duration})) {
    return;
  }
  start.first_point = {p[0], sim::terrain_height(p[0], p[2]) + p[1], p[2]};
  start.second_point = {q[0], sim::terrain_height(q[0], q[2]) + q[1], q[2]};
  start.duration = duration;
  if (!read_flagger_names(stream, track, p[0], p[1], p[2], size, width_factor, &start.billboard,
                          start.textures, 5)) {
    return;
  }

  FinishFlagger& finish = track.flaggers.finish;
  if (data::ds_scanf(stream, " [ %f %f %f ] %f %f ", &p[0], &p[1], &p[2], &size, &width_factor) !=
          5 ||
      !all_finite({p[0], p[1], p[2], size, width_factor}) ||
      !read_flagger_names(stream, track, p[0], p[1], p[2], size, width_factor, &finish.billboard,
                          finish.textures, 4)) {
    return;
  }

  const int count = static_cast<int>(track.checkpoints.size());
  for (;;) {
    CourseFlagger flagger;
    int* gates = flagger.checkpoints;
    if (data::ds_scanf(stream, " [ %f %f %f ] %f %f %d %d %d %d", &p[0], &p[1], &p[2], &size,
                       &width_factor, &gates[0], &gates[1], &gates[2], &gates[3]) != 9 ||
        !all_finite({p[0], p[1], p[2], size, width_factor})) {
      return;
    }
    for (int& gate : flagger.checkpoints) gate = clamp_checkpoint(gate, count);
    const bool complete = read_flagger_names(stream, track, p[0], p[1], p[2], size, width_factor,
                                             &flagger.billboard, flagger.textures, 2);
    if (flagger.billboard >= 0) track.flaggers.course.push_back(flagger);
    if (!complete) return;
  }
}

}  // namespace race

// animation.cpp -- ".seq" animated textures: reading them and playing them by race tick.
//
// A ".seq" after its "ANIM1" magic: "F G T L" (frame count, image count, ticks per frame,
// loop flag), F image indices, then G images, each an inline "J7" image or "PNG" and the rest
// of the line naming a PNG file. Every image has the same size and channels.
#include <algorithm>
#include <cstring>
#include <string>

#include "data/data.h"
#include "data/data_internal.h"
#include "platform/platform.h"

namespace data {

namespace {

// Far above any flagger's loop; they bound what a broken header makes us allocate.
constexpr int kMaxFrames = 65536;
constexpr int kMaxImages = 256;

std::vector<Animation> g_animations;

bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int fail(Animation& animation, const char* text) {
  animation_free(animation);
  set_image_error("%s", text);
  return 0;
}

// Reads the image introduced by the next word into `image`; 0 with the error set.
int read_seq_image(DataStream* stream, int index, Image& image) {
  char word[16] = "";
  if (ds_scanf(stream, " %15s", word) != 1) {
    set_image_error("EOF while reading .seq");
    return 0;
  }
  if (std::strcmp(word, "J7") == 0) {
    if (read_jimage(stream, 4, image)) return 1;
    set_image_error("EOF while reading .seq");
    return 0;
  }
  if (std::strcmp(word, "PNG") == 0) {
    char line[1024];
    if (!ds_read_line(stream, line, sizeof line)) {
      set_image_error("EOF while reading .seq");
      return 0;
    }
    char* name = line;
    while (is_space(*name)) ++name;
    std::size_t length = std::strlen(name);
    while (length > 0 && is_space(name[length - 1])) name[--length] = '\0';
    std::string hints;
    if (read_png(name, image, hints)) return 1;
    set_image_error("Can't read %.900s", name);
    return 0;
  }
  set_image_error("Error reading .seq frame %d", index);
  return 0;
}

}  // namespace

int read_animation(DataStream* stream, Animation& animation) {
  animation = Animation{};
  int frames = 0;
  int images = 0;
  int ticks = 0;
  int loop = 0;
  if (ds_scanf(stream, "%d %d %d %d", &frames, &images, &ticks, &loop) != 4) {
    return fail(animation, "EOF while reading .seq");
  }
  // A frame length below one tick would divide by zero during playback.
  if (frames <= 0 || images <= 0 || frames > kMaxFrames || images > kMaxImages || ticks <= 0) {
    return fail(animation, "Bad counts in .seq header");
  }
  animation.frame_count = frames;
  animation.ticks_per_frame = ticks;
  animation.loop = loop != 0;
  animation.frames.resize(frames);
  for (int& frame : animation.frames) {
    if (ds_scanf(stream, "%d ", &frame) != 1) return fail(animation, "EOF while reading .seq");
    if (frame < 0 || frame >= images) return fail(animation, "Bad image index in .seq");
  }
  for (int index = 0; index < images; ++index) {
    Image image;
    if (!read_seq_image(stream, index, image)) {
      animation_free(animation);
      return 0;
    }
    animation.images.push_back(image);
    const Image& first = animation.images.front();
    if (image.width != first.width || image.height != first.height) {
      return fail(animation, "Width/height mismatch reading .seq");
    }
    if (image.channels != first.channels) return fail(animation, "Depth mismatch reading .seq");
  }
  animation.shown = animation.frames[0];
  return 1;
}

void animation_free(Animation& animation) {
  for (Image& image : animation.images) image_free(image);
  animation.images.clear();
}

void animation_add(Animation& animation) {
  g_animations.push_back(std::move(animation));
  animation = Animation{};
}

void animation_sweep(bool (*is_cached)(unsigned texture), int debug_level) {
  for (std::size_t i = 0; i < g_animations.size();) {
    Animation& animation = g_animations[i];
    if (is_cached(animation.texture)) {
      ++i;
      continue;
    }
    if (debug_level >= 1) {
      platform::log("deleting anim %d for tid %u\n", static_cast<int>(i), animation.texture);
    }
    animation_free(animation);
    g_animations.erase(g_animations.begin() + static_cast<long>(i));
  }
}

void animations_reset_for_test() {
  for (Animation& animation : g_animations) animation_free(animation);
  g_animations.clear();
}

void anim_start(unsigned texture, int tick) {
  for (Animation& animation : g_animations) {
    if (animation.texture != texture) continue;
    animation.paused = false;
    animation.start_tick = tick;
  }
}

void anim_pause(unsigned texture) {
  for (Animation& animation : g_animations) {
    if (animation.texture == texture) animation.paused = true;
  }
}

void anim_update(int now) {
  for (Animation& animation : g_animations) {
    if (animation.paused) continue;
    const long long elapsed = std::max(0LL, static_cast<long long>(now) - animation.start_tick);
    long long frame = elapsed / animation.ticks_per_frame;
    frame = animation.loop ? frame % animation.frame_count
                           : std::min<long long>(frame, animation.frame_count - 1);
    const int image = animation.frames[frame];
    if (image == animation.shown) continue;
    texture_device().replace(animation.texture, animation.images[image], animation.first_level);
    animation.shown = image;
  }
}

}  // namespace data

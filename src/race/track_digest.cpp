// track_digest.cpp -- the TrackDigest: SHA-1 over the track's content files and statue shapes.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "data/data.h"
#include "platform/platform.h"
#include "race/race.h"
#include "race/track_internal.h"

namespace race {

namespace {

// Adds a file's bytes in blocks of up to 1024. Only regular files count: a name such as
// "/dev/zero" in a statues file would otherwise never end.
void feed_file(platform::Sha1& digest, const std::string& name) {
  data::DataStream* stream = data::open_data(name.c_str(), "rb");
  if (!stream) return;
  struct stat info;
  if (fstat(fileno(stream->file), &info) == 0 && S_ISREG(info.st_mode)) {
    unsigned char block[1024];
    for (std::size_t got; (got = data::ds_read(stream, block, sizeof block)) > 0;) {
      platform::sha1_add(digest, block, got);
    }
  }
  data::close_data(stream);
}

}  // namespace

TrackDigest compute_track_digest(const char* track_dir, const std::vector<Statue>& statues) {
  platform::Sha1 digest;
  platform::sha1_begin(digest);
  sim::terrain_feed_digest(digest, track_dir);
  feed_file(digest, track_file(track_dir, "timing_gates"));
  feed_file(digest, track_file(track_dir, "statues"));
  std::vector<const std::string*> shapes;
  for (const Statue& statue : statues) {
    if (statue.shape_name.empty()) continue;
    bool seen = false;
    for (const std::string* name : shapes) seen = seen || *name == statue.shape_name;
    if (seen) continue;
    shapes.push_back(&statue.shape_name);
    feed_file(digest, statue.shape_name);
  }
  TrackDigest out;
  platform::sha1_finish(digest, out.bytes);
  return out;
}

}  // namespace race

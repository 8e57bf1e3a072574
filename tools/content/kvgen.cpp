// kvgen.cpp -- the content generator: writes Korvex's game data into a folder.
//
//   kvgen FOLDER
//
// Everything is made from source here, deterministically: the same build
// gives the same bytes on every machine. FOLDER/MANIFEST.sha1 records every
// file written with its SHA-1.
#include <chrono>
#include <cstdio>
#include <string>

#include "content/content.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kvgen FOLDER\n");
    return 2;
  }
  const auto started = std::chrono::steady_clock::now();
  content::Output out;
  out.root = std::string(argv[1]) + "/";
  // The data set's version marker.
  content::write_file(out, "korvex_data.txt", "Korvex game data 1\n");
  content::write_stock_shapes(out);
  content::write_scenery(out);
  content::write_bikes(out);
  content::write_riders(out);
  content::write_fonts(out);
  content::write_hud(out);
  content::write_sounds(out);
  content::build_track(out, content::rabbithill_plan());
  content::build_track(out, content::practice_plan());
  const content::ManifestTotals totals = content::write_manifest(out);
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - started;
  std::printf("kvgen: %d files, %.1f MB in %.1f s\n", totals.files, totals.bytes / 1048576.0,
              took.count());
  return out.ok ? 0 : 1;
}

// data_bench.cpp -- how fast the data layer builds its file table and reads packs and text.
#include <benchmark/benchmark.h>
#include <zlib.h>  // writes the gzip fixture

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench_support.h"
#include "data/data.h"

namespace {

using Fixture = bench_support::BenchFolder;

void use_folder(const std::string& folder) {
  setenv("KV_HOME", folder.c_str(), 1);
  setenv("XDG_DATA_HOME", (folder + "/nobody").c_str(), 1);
  data::data_reset_for_test();
}

std::string pack_of(int entries, std::size_t entry_size) {
  std::string index, body;
  for (int i = 0; i < entries; ++i) {
    index += std::to_string(entry_size) + " packed/entry" + std::to_string(i) + ".bin\n";
    body += std::string(entry_size, static_cast<char>('a' + i % 26));
  }
  return index + "-\n" + body;
}

// 10,000 loose files in 100 folders and a pack of 2,000 entries.
void BM_FileTable(benchmark::State& state) {
  static Fixture fixture;
  static bool made = false;
  if (!made) {
    for (int i = 0; i < 10000; ++i) {
      fixture.write("dir" + std::to_string(i % 100) + "/file" + std::to_string(i) + ".txt", "x");
    }
    fixture.write("big.saf", pack_of(2000, 16));
    made = true;
  }
  for (auto _ : state) {
    use_folder(fixture.root);
    benchmark::DoNotOptimize(data::data_names());
  }
}
BENCHMARK(BM_FileTable)->Unit(benchmark::kMillisecond);

// Every entry of a 50 MB pack, read in 64 KiB blocks.
void BM_ReadPack(benchmark::State& state) {
  static Fixture fixture;
  constexpr int kEntries = 800;
  constexpr std::size_t kEntrySize = 65536;  // 800 x 64 KiB = 50 MiB
  static bool made = false;
  if (!made) {
    fixture.write("big.saf", pack_of(kEntries, kEntrySize));
    made = true;
  }
  use_folder(fixture.root);
  std::string buffer(65536, '\0');
  for (auto _ : state) {
    for (int i = 0; i < kEntries; ++i) {
      const std::string name = "@packed/entry" + std::to_string(i) + ".bin";
      data::DataStream* stream = data::open_data(name.c_str(), "rb");
      while (data::ds_read(stream, buffer.data(), buffer.size()) > 0) {
      }
      data::close_data(stream);
    }
  }
  state.SetBytesProcessed(state.iterations() * kEntries * static_cast<int64_t>(kEntrySize));
}
BENCHMARK(BM_ReadPack)->Unit(benchmark::kMillisecond);

// A number-heavy text: 20,000 lines of " [ %f %f %f ] %f %f ".
std::string number_text() {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> value(-1000.0, 1000.0);
  std::string text;
  char line[160];
  for (int i = 0; i < 20000; ++i) {
    std::snprintf(line, sizeof line, " [ %.6f %.6f %.6f ] %.4f %d\n", value(random), value(random),
                  value(random), value(random), i);
    text += line;
  }
  return text;
}

// ds_scanf over the text, plain (arg 0) or gzip-compressed (arg 1).
void BM_ScanNumbers(benchmark::State& state) {
  static Fixture fixture;
  static bool made = false;
  static std::size_t text_size = 0;
  if (!made) {
    const std::string text = number_text();
    text_size = text.size();
    fixture.write("numbers.txt", text);
    gzFile gz = gzopen((fixture.root + "/numbers.gz.txt.gz").c_str(), "wb9");
    gzwrite(gz, text.data(), static_cast<unsigned>(text.size()));
    gzclose(gz);
    made = true;
  }
  use_folder(fixture.root);
  const char* name = state.range(0) ? "@numbers.gz.txt" : "@numbers.txt";
  for (auto _ : state) {
    data::DataStream* stream = data::open_data(name, "rb");
    float x, y, z, w;
    int n;
    int lines = 0;
    while (data::ds_scanf(stream, " [ %f %f %f ] %f %d", &x, &y, &z, &w, &n) == 5) ++lines;
    data::close_data(stream);
    if (lines != 20000) state.SkipWithError("short read");
    benchmark::DoNotOptimize(lines);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text_size));
}
BENCHMARK(BM_ScanNumbers)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

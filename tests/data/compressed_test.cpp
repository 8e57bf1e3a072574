// compressed_test.cpp -- gzip and scrambled data files, alone, stacked and inside packs.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "data/data.h"
#include "data/data_internal.h"
#include "support/test_support.h"

using test_support::make_pack;

using test_support::read_file;
using test_support::TempDir;

namespace {

using CompressedTest = test_support::DataFoldersTest;

// Text and noise mixed, so that it compresses into both kinds of block.
std::string sample(std::size_t size, unsigned seed = 1) {
  std::mt19937 random(seed);
  std::string out;
  while (out.size() < size) {
    if (random() % 2) {
      out += "line " + std::to_string(out.size()) + " of the sample\n";
    } else {
      for (int i = 0; i < 40; ++i) out.push_back(static_cast<char>(random()));
    }
  }
  out.resize(size);
  return out;
}

std::string raw_deflate(const std::string& plain) {
  return test_support::deflate_bytes(plain, -MAX_WBITS);
}

void put_le32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}

// A gzip file with the given header flags; the optional fields are filled
// in for the flags that ask for them.
std::string gzip(const std::string& plain, unsigned flags = 0) {
  std::string out = {'\x1f', '\x8b', 8, static_cast<char>(flags), 1, 2, 3, 4, 0, 3};
  if (flags & 4)
    out += std::string(
        "\x05\x00"
        "extra",
        7);
  if (flags & 8) out += std::string("sample.txt\0", 11);
  if (flags & 16) out += std::string("made for a test\0", 16);
  if (flags & 2) out += "\x12\x34";
  out += raw_deflate(plain);
  put_le32(out, static_cast<std::uint32_t>(
                    crc32(0, reinterpret_cast<const Bytef*>(plain.data()), plain.size())));
  put_le32(out, static_cast<std::uint32_t>(plain.size()));
  return out;
}

// The scrambled bytes of `plain`, as the scramble tool writes them.
std::string scramble(const std::string& plain) {
  TempDir scratch;
  const std::string in = scratch.write("plain", plain);
  const std::string out = scratch.file("plain.scram");
  EXPECT_TRUE(data::write_scrambled(in.c_str(), out.c_str()));
  return read_file(out);
}

enum class Reader { kByteAtATime, k64AtATime, kMixed };
constexpr Reader kReaders[] = {Reader::kByteAtATime, Reader::k64AtATime, Reader::kMixed};

const char* reader_name(Reader reader) {
  switch (reader) {
    case Reader::kByteAtATime:
      return "byte at a time";
    case Reader::k64AtATime:
      return "64 at a time";
    case Reader::kMixed:
      return "mixed sizes with peeks";
  }
  return "";
}

// Everything left in the stream, read the given way.
std::string read_rest(data::DataStream* stream, Reader reader) {
  std::string out;
  if (reader == Reader::kByteAtATime) {
    for (int c = data::ds_getc(stream); c >= 0; c = data::ds_getc(stream)) {
      out.push_back(static_cast<char>(c));
    }
    return out;
  }
  static constexpr std::size_t kSizes[] = {1, 7, 16, 17, 33, 1000, 15};
  char buffer[1024];
  for (std::size_t turn = 0;; ++turn) {
    std::size_t want = 64;
    int peeked = -2;
    if (reader == Reader::kMixed) {
      want = kSizes[turn % std::size(kSizes)];
      peeked = data::ds_peek(stream);
    }
    const std::size_t got = data::ds_read(stream, buffer, want);
    if (peeked != -2) {
      EXPECT_EQ(peeked, got ? static_cast<unsigned char>(buffer[0]) : -1);
    }
    out.append(buffer, got);
    if (got == 0) return out;
  }
}

// What a data name reads, or "<missing>" when it does not open.
std::string read_all(const char* name, Reader reader = Reader::kByteAtATime) {
  data::DataStream* stream = data::open_data(name, "rb");
  if (!stream) return "<missing>";
  std::string text = read_rest(stream, reader);
  data::close_data(stream);
  return text;
}

}  // namespace

TEST_F(CompressedTest, GzipHeaders) {
  const std::string text = "throttle 0.5\nclutch 1\n";
  const std::string good = gzip(text);
  struct Case {
    const char* what;
    std::string file;
    bool opens;
  } cases[] = {
      {"no optional fields", good, true},
      {"name and comment", gzip(text, 8 | 16), true},
      {"extra field", gzip(text, 4), true},
      {"header crc", gzip(text, 2), true},
      {"every optional field and the text flag", gzip(text, 1 | 2 | 4 | 8 | 16), true},
      {"reserved flag 32", gzip(text, 32), false},
      {"reserved flag 128", gzip(text, 128), false},
      {"wrong magic", "\x1f\x8c" + good.substr(2), false},
      {"method other than deflate", good.substr(0, 2) + "\x07" + good.substr(3), false},
      {"name running to the end", gzip(text, 8).substr(0, 16), false},
      {"extra field longer than the file",
       good.substr(0, 3) + "\x04" + good.substr(4, 6) + std::string("\xff\x00", 2) + "abc", false},
      {"cut inside the fixed part", good.substr(0, 9), false},
      {"empty", "", false},
  };
  for (const Case& c : cases) {
    home.write("tuning.txt.gz", c.file);
    EXPECT_EQ(read_all("@tuning.txt"), c.opens ? text : "<missing>") << c.what;
  }
}

TEST_F(CompressedTest, GzipReadsTheSameWhateverTheReadSizes) {
  // Large enough for many input blocks and many more output buffers.
  const std::string text = sample(200000);
  home.write("big.bin.gz", gzip(text, 8));
  for (Reader reader : kReaders) {
    EXPECT_EQ(read_all("@big.bin", reader), text) << reader_name(reader);
  }
}

TEST_F(CompressedTest, DamagedGzipEndsEarly) {
  // A stored block holding "hello world", then a block of the reserved type.
  std::string corrupt = gzip("").substr(0, 10);
  corrupt += std::string(
      "\x00\x0b\x00\xf4\xff"
      "hello world"
      "\x07",
      17);
  home.write("corrupt.txt.gz", corrupt);
  EXPECT_EQ(read_all("@corrupt.txt"), "hello world");

  const std::string text = sample(5000);
  const std::string whole = gzip(text);
  home.write("cut.txt.gz", whole.substr(0, whole.size() / 2));
  const std::string cut = read_all("@cut.txt");
  EXPECT_LT(cut.size(), text.size());
  EXPECT_EQ(cut, text.substr(0, cut.size()));
}

TEST_F(CompressedTest, PackEntriesAreNeverReadPastTheirSize) {
  // Each "cut" entry holds the start of a file and the entry after it the
  // rest: a reader that strays past the entry would deliver everything.
  const std::string text = sample(600, 2);
  const std::string zipped = gzip(text);
  const std::string scrambled = scramble(text);
  const std::string both = scramble(zipped);
  home.write("data.saf", make_pack({
                             {"gz_cut.txt.gz", zipped.substr(0, 100)},
                             {"gz_rest", zipped.substr(100)},
                             {"scram_cut.txt.scram", scrambled.substr(0, 64 + 32)},
                             {"scram_rest", scrambled.substr(64 + 32)},
                             {"both_cut.txt.gz.scram", both.substr(0, 64 + 160)},
                             {"both_rest", both.substr(64 + 160)},
                             {"gz_whole.txt.gz", zipped},
                             {"scram_whole.txt.scram", scrambled},
                             {"both_whole.txt.gz.scram", both},
                             {"plain.txt", "plain"},
                         }));
  data::data_reset_for_test();

  for (const char* name : {"@gz_cut.txt", "@both_cut.txt"}) {
    const std::string cut = read_all(name);
    EXPECT_LT(cut.size(), text.size()) << name;
    EXPECT_EQ(cut, text.substr(0, cut.size())) << name;
  }
  EXPECT_EQ(read_all("@scram_cut.txt"), text.substr(0, 32));
  for (Reader reader : kReaders) {
    for (const char* name : {"@gz_whole.txt", "@scram_whole.txt", "@both_whole.txt"}) {
      EXPECT_EQ(read_all(name, reader), text) << name << ", " << reader_name(reader);
    }
  }
  EXPECT_EQ(read_all("@plain.txt"), "plain");
}

TEST_F(CompressedTest, ScrambledReadsBackWhateverTheReadSizes) {
  for (std::size_t size : {0, 1, 15, 16, 17, 20, 64, 1000, 70001}) {
    const std::string text = sample(size, static_cast<unsigned>(size));
    const std::string scrambled = scramble(text);
    EXPECT_EQ(scrambled.size(), 64 + (size + 15) / 16 * 16) << size;
    home.write("s.bin.scram", scrambled);
    home.write("z.bin.gz.scram", scramble(gzip(text)));
    for (Reader reader : kReaders) {
      EXPECT_EQ(read_all("@s.bin", reader), text) << size << ", " << reader_name(reader);
      EXPECT_EQ(read_all("@z.bin", reader), text) << size << ", " << reader_name(reader);
    }
  }
}

TEST_F(CompressedTest, ScrambledHidesItsContentsAndPositions) {
  // Equal blocks at different places scramble differently, and neither the
  // text nor the marker is left readable.
  const std::string text(64, 'A');
  const std::string scrambled = scramble(text);
  ASSERT_EQ(scrambled.size(), 128u);
  for (std::size_t a = 64; a < 128; a += 16) {
    for (std::size_t b = a + 16; b < 128; b += 16) {
      EXPECT_NE(scrambled.substr(a, 16), scrambled.substr(b, 16)) << a << " " << b;
    }
  }
  EXPECT_EQ(scrambled.find("AAAA"), std::string::npos);
  EXPECT_EQ(scrambled.find("KORVEX"), std::string::npos);
  // The same file always scrambles to the same bytes; another file does not
  // share its header.
  EXPECT_EQ(scramble(text), scrambled);
  EXPECT_NE(scramble(std::string(64, 'B')).substr(0, 64), scrambled.substr(0, 64));
}

TEST_F(CompressedTest, ScrambledFormatIsStable) {
  // Scrambled files in the game data are read by later builds: these bytes
  // must keep reading back, and keep being what the writer produces.
  const std::string text = "Korvex scramble test";  // 20 bytes: one block and 4
  static const unsigned char kGolden[96] = {
      0x45, 0x01, 0xea, 0x7e, 0x96, 0xb7, 0xc3, 0x16, 0x4c, 0xba, 0x06, 0x3c, 0x60, 0xa9,
      0x44, 0x24, 0x9a, 0x8e, 0xaa, 0x07, 0x5c, 0x02, 0xc5, 0x72, 0xc0, 0x6f, 0x55, 0xb5,
      0xed, 0x75, 0xc5, 0x9c, 0xa2, 0x7b, 0x11, 0xd7, 0x5e, 0x46, 0xd1, 0xf5, 0xd5, 0xef,
      0x95, 0x26, 0xc5, 0x98, 0x52, 0xc6, 0x47, 0xcf, 0x69, 0xfd, 0x31, 0x13, 0x49, 0x00,
      0xfc, 0x6d, 0x08, 0xaa, 0xc6, 0xa9, 0x25, 0x4e, 0x98, 0xd6, 0x7b, 0xc0, 0x9e, 0xa3,
      0xab, 0x4c, 0xa6, 0x31, 0xfe, 0xfc, 0xa7, 0x0e, 0x3b, 0xe0, 0x6e, 0xf4, 0x6f, 0x82,
      0xde, 0x87, 0x91, 0x29, 0x4d, 0xff, 0xe8, 0x2f, 0x3f, 0xc0, 0xfd, 0xbc,
  };
  const std::string golden(reinterpret_cast<const char*>(kGolden), sizeof kGolden);
  home.write("golden.txt.scram", golden);
  EXPECT_EQ(read_all("@golden.txt"), text);
  EXPECT_EQ(scramble(text), golden);
}

TEST_F(CompressedTest, ScrambledHeaderMustBeIntact) {
  const std::string text = sample(100);
  const std::string scrambled = scramble(text);
  for (std::size_t at = 0; at < 64; ++at) {
    for (unsigned char flip : {0x01, 0x80}) {
      std::string changed = scrambled;
      changed[at] = static_cast<char>(changed[at] ^ flip);
      home.write("h.txt.scram", changed);
      EXPECT_EQ(read_all("@h.txt"), "<missing>") << "byte " << at << " ^ " << int(flip);
    }
  }

  // A sound header whose length says "all bits set" is refused.
  struct Case {
    std::uint32_t length;
    bool opens;
  } cases[] = {{0xffffffffu, false}, {0xfffffffeu, true}, {0, true}};
  for (const Case& c : cases) {
    const unsigned char material[32] = {1, 2, 3};
    unsigned char header[64];
    data::scram_make_header(material, c.length, header);
    home.write("len.txt.scram",
               std::string(reinterpret_cast<char*>(header), 64) + std::string(48, 'x'));
    data::DataStream* stream = data::open_data("@len.txt", "rb");
    EXPECT_EQ(stream != nullptr, c.opens) << c.length;
    if (!stream) continue;
    // No more comes out than the file holds, whatever the header says.
    EXPECT_LE(read_rest(stream, Reader::k64AtATime).size(), c.length == 0 ? 0u : 48u);
    data::close_data(stream);
  }
}

TEST_F(CompressedTest, TruncatedScrambledFileEndsEarly) {
  const std::string text = sample(100);
  const std::string scrambled = scramble(text);  // 64 + 112 bytes
  struct Case {
    std::size_t keep;       // bytes of the file kept
    const char* expected;   // nullptr: fails to open
    std::size_t delivered;  // else the number of leading bytes of the text
  } cases[] = {
      {0, nullptr, 0},   {63, nullptr, 0},  {64, "", 0},
      {64 + 16, "", 16}, {64 + 40, "", 32}, {64 + 111, "", 96},
  };
  for (const Case& c : cases) {
    home.write("t.txt.scram", scrambled.substr(0, c.keep));
    for (Reader reader : kReaders) {
      testing::internal::CaptureStderr();
      const std::string got = read_all("@t.txt", reader);
      const std::string err = testing::internal::GetCapturedStderr();
      if (!c.expected) {
        EXPECT_EQ(got, "<missing>") << c.keep;
        EXPECT_NE(err.find("fread error\n"), std::string::npos) << c.keep;
      } else {
        EXPECT_EQ(got, text.substr(0, c.delivered)) << c.keep << ", " << reader_name(reader);
      }
    }
  }
}

TEST_F(CompressedTest, SeekFailsOnCompressedAndScrambledStreams) {
  const std::string text = sample(300);
  home.write("k.gz.bin.gz", gzip(text));
  home.write("k.scram.bin.scram", scramble(text));
  home.write("k.both.bin.gz.scram", scramble(gzip(text)));
  for (const char* name : {"@k.gz.bin", "@k.scram.bin", "@k.both.bin"}) {
    data::DataStream* stream = data::open_data(name, "rb");
    ASSERT_NE(stream, nullptr) << name;
    char start[3];
    ASSERT_EQ(data::ds_read(stream, start, 3), 3u) << name;
    EXPECT_EQ(data::ds_seek(stream, 0), 0) << name;
    EXPECT_EQ(data::ds_seek(stream, 100), 0) << name;
    // The stream goes on where it was.
    EXPECT_EQ(std::string(start, 3) + read_rest(stream, Reader::kMixed), text) << name;
    data::close_data(stream);
  }
}

TEST(ScrambleWriter, ReportsWhatItCannotDo) {
  TempDir dir;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(data::write_scrambled(dir.file("missing").c_str(), dir.file("out").c_str()));
  const std::string plain = dir.write("plain", "x");
  EXPECT_FALSE(data::write_scrambled(plain.c_str(), dir.file("no/such/dir/out").c_str()));
  EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
  EXPECT_FALSE(test_support::file_exists(dir.file("out")));
}

TEST_F(CompressedTest, LowestSourceWinsAcrossVariants) {
  // The compressed variant in the pack that sorts first beats the plain
  // name in a later pack; a loose plain file beats both.
  home.write("a.saf", make_pack({{"tracks/x/terrain.hf.gz", gzip("from the gz in a.saf")}}));
  home.write("b.saf", make_pack({{"tracks/x/terrain.hf", "plain in b.saf"},
                                 {"tracks/y/terrain.hf", "plain in b.saf"}}));
  home.write("c.saf", make_pack({{"tracks/y/terrain.hf.scram", scramble("scrambled in c.saf")}}));
  xdg.write(user_file("tracks/z/terrain.hf"), "loose");
  home.write("d.saf", make_pack({{"tracks/z/terrain.hf.gz", gzip("packed")}}));
  data::data_reset_for_test();
  EXPECT_EQ(read_all("@tracks/x/terrain.hf"), "from the gz in a.saf");
  EXPECT_EQ(read_all("@tracks/y/terrain.hf"), "plain in b.saf");
  EXPECT_EQ(read_all("@tracks/z/terrain.hf"), "loose");
}

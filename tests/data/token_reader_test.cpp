// token_reader_test.cpp -- ds_scanf's matching rules, ds_skip_comments and ds_read_int.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "data/data.h"
#include "support/test_support.h"

namespace {

using data::ds_scanf;

// A stream over `text` in a plain temporary file.
class Input {
 public:
  explicit Input(const std::string& text)
      : stream_(data::open_data(dir_.write("input", text).c_str(), "rb")) {}
  ~Input() { data::close_data(stream_); }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  data::DataStream* get() const { return stream_; }
  // Everything not read yet: where the scanner stopped.
  std::string rest() {
    std::string out;
    for (int c; (c = data::ds_getc(stream_)) >= 0;) out.push_back(static_cast<char>(c));
    return out;
  }

 private:
  test_support::TempDir dir_;
  data::DataStream* stream_;
};

constexpr int kUntouched = 12345;

struct IntegerCase {
  const char* format;
  const char* input;
  int result;
  int value;  // kUntouched when nothing is assigned
  const char* rest;
};

TEST(TokenReaderIntegers, ConvertsAndStopsWhereTheGrammarEnds) {
  const IntegerCase cases[] = {
      {"%d", "42 x", 1, 42, " x"},
      {"%d", " \t\n-17\n", 1, -17, "\n"},
      {"%d", "+5", 1, 5, ""},
      {"%d", "abc", 0, kUntouched, "abc"},
      {"%d", "-x", 0, kUntouched, "x"},  // the sign is gone
      {"%d", "", -1, kUntouched, ""},
      {"%d", " \r\n\v\f", -1, kUntouched, ""},
      {"%2d", "-123", 1, -1, "23"},  // the sign counts against the width
      {"%3d", "12345", 1, 123, "45"},
      {"%d", "4294967338", 1, 42, ""},  // wraps in 32 bits
      {"%d", "2147483648", 1, INT_MIN, ""},
      {"%i", "-0x1A", 1, -26, ""},
      {"%i", "0Xff;", 1, 255, ";"},
      {"%i", "017", 1, 15, ""},
      {"%i", "08", 1, 0, "8"},
      {"%i", "0xg", 1, 0, "g"},
      {"%i", "99", 1, 99, ""},
      {"%2i", "0x1A", 1, 0, "1A"},  // so does the prefix
      {"%x", "0x1A", 1, 0, "x1A"},
      {"%x", "-fF", 1, -255, ""},
      {"%X", "1aG", 1, 26, "G"},
      {"%o", "-178", 1, -15, "8"},
      {"%o", "9", 0, kUntouched, "9"},
      {"%ld", "7", 1, 7, ""},  // "l" does not widen integers
  };
  for (const IntegerCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " over \"" + c.input + "\"");
    Input in(c.input);
    int value = kUntouched;
    EXPECT_EQ(ds_scanf(in.get(), c.format, &value), c.result);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(in.rest(), c.rest);
  }
}

TEST(TokenReaderIntegers, HalfWidthDestinationsTruncate) {
  Input in("70000 -1 9");
  short values[3] = {0, 0, 0};
  EXPECT_EQ(ds_scanf(in.get(), "%hd %hi %hn", &values[0], &values[1], &values[2]), 2);
  EXPECT_EQ(values[0], 70000 - 65536);
  EXPECT_EQ(values[1], -1);
  EXPECT_EQ(values[2], 9);  // bytes consumed: "70000 -1 "
}

struct FloatCase {
  const char* format;
  const char* input;
  int result;
  std::optional<double> value;  // nullopt when nothing is assigned
  const char* rest;
};

TEST(TokenReaderFloats, FollowsTheNumberGrammar) {
  const FloatCase cases[] = {
      {"%lf", "1.5e3", 1, 1500, ""},
      {"%lf", "12.5E1,", 1, 125, ","},
      {"%lf", "1e-2", 1, 0.01, ""},
      {"%lf", "-.25", 1, -0.25, ""},
      {"%lf", "2e x", 1, 2, " x"},  // an "e" without digits is consumed
      {"%lf", "2E+;", 1, 2, ";"},
      {"%lf", ".", 1, 0, ""},
      {"%lf", "1.2.3", 1, 1.2, ".3"},
      {"%3lf", "1.25", 1, 1.2, "5"},
      {"%lf", "123456789012345678", 1, 123456789012345678.0, ""},
      {"%lf", "0e5000", 1, 0, ""},
      {"%lf", "1e400", 1, HUGE_VAL, ""},
      {"%lf", "abc", 0, std::nullopt, "abc"},
      {"%lf", "e5", 0, std::nullopt, "e5"},
      {"%lf", "-", 0, std::nullopt, ""},
      {"%lf", "  ", -1, std::nullopt, ""},
  };
  for (const FloatCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " over \"" + c.input + "\"");
    Input in(c.input);
    double value = kUntouched;
    EXPECT_EQ(ds_scanf(in.get(), c.format, &value), c.result);
    EXPECT_DOUBLE_EQ(value, c.value.value_or(kUntouched));
    EXPECT_EQ(in.rest(), c.rest);
  }
}

TEST(TokenReaderFloats, LengthModifiersPickTheDestination) {
  Input in("0.1 0.1 0.1 0.1 0.1");
  float single = 0;
  double twice = 0;
  long double extended[3] = {0, 0, 0};
  EXPECT_EQ(ds_scanf(in.get(), "%f %lf %Lf %llf %qf", &single, &twice, &extended[0], &extended[1],
                     &extended[2]),
            5);
  EXPECT_EQ(single, 0.1f);
  EXPECT_EQ(twice, 0.1);
  for (long double e : extended) EXPECT_EQ(e, 0.1L);
}

struct SequenceCase {
  const char* format;
  const char* input;
  int result;
  int first;
  int second;
  const char* rest;
};

TEST(TokenReaderFormats, LiteralsWhiteSpaceAndResults) {
  const SequenceCase cases[] = {
      {"%d %d", "12 34", 2, 12, 34, ""},
      // A failed literal returns -1 whatever was assigned, and leaves the differing byte.
      {"%d,%d", "12 34", -1, 12, kUntouched, " 34"},
      {"%d;", "5", -1, 5, kUntouched, ""},
      // Literals keep the bytes they matched before failing.
      {" minrpm %d", "mixture 5", -1, kUntouched, kUntouched, "xture 5"},
      {"JM%d", "jm3", -1, kUntouched, kUntouched, "jm3"},
      {"JM%d", "JM3", 1, 3, kUntouched, ""},
      {"pipe %d", " pipe 1", -1, kUntouched, kUntouched, " pipe 1"},
      {"SOUNDTABLE %d %d", "SOUNDTABLE\n 4\t8\n", 2, 4, 8, "\n"},
      {"ct03 %d ", "ct03 7 \n\nnext", 1, 7, kUntouched, "next"},
      // The input ends before a conversion: the count, or -1 when it is 0.
      {"%d %d", "5", 1, 5, kUntouched, ""},
      {"%*d %d", "7", -1, kUntouched, kUntouched, ""},
      {"%*d", "7", 0, kUntouched, kUntouched, ""},
      {"%*d %d", "1 2", 1, 2, kUntouched, ""},
      // Letters outside the table end the call.
      {"%d %g %d", "1 2 3", 1, 1, kUntouched, "2 3"},
      {"%d%%", "1%", 1, 1, kUntouched, "%"},
      {"", "abc", 0, kUntouched, kUntouched, "abc"},
      {"  ", " \n x", 0, kUntouched, kUntouched, "x"},
  };
  for (const SequenceCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " over \"" + c.input + "\"");
    Input in(c.input);
    int first = kUntouched;
    int second = kUntouched;
    EXPECT_EQ(ds_scanf(in.get(), c.format, &first, &second), c.result);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
    EXPECT_EQ(in.rest(), c.rest);
  }
}

TEST(TokenReaderFormats, BracketedVectorRecord) {
  Input in("[ 1.5 -2\n3]0.25 1e1\nnext");
  float v[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(ds_scanf(in.get(), " [ %f %f %f ] %f %f ", &v[0], &v[1], &v[2], &v[3], &v[4]), 5);
  EXPECT_EQ(v[0], 1.5f);
  EXPECT_EQ(v[1], -2.0f);
  EXPECT_EQ(v[2], 3.0f);
  EXPECT_EQ(v[3], 0.25f);
  EXPECT_EQ(v[4], 10.0f);
  EXPECT_EQ(in.rest(), "next");
}

struct TextCase {
  const char* format;
  const char* input;
  int result;
  const char* stored;  // nullptr when nothing is stored
  const char* rest;
};

TEST(TokenReaderText, WordsAndScanSets) {
  const TextCase cases[] = {
      // The trailing blank of the format eats the blank after the word.
      {" %1023s ", "  first second", 1, "first", "second"},
      {"%15s", "abcdefghijklmnopqrst", 1, "abcdefghijklmno", "pqrst"},
      {"%63s", "a\vb", 1, "a", "\vb"},
      {"%63s", "a\fb", 1, "a", "\fb"},
      {"%63s", "a\rb", 1, "a", "\rb"},
      {"%63s", "x\x01\xff;y z", 1, "x\x01\xff;y", " z"},
      {"%63s", "   ", -1, nullptr, ""},
      {"%*s %7s", "skipped kept", 1, "kept", ""},
      {"%63[a-c]", "abcd", 1, "abc", "d"},
      {"%63[0-9a-f]", "c0ffee!", 1, "c0ffee", "!"},
      {"%63[]x]", "]x]y", 1, "]x]", "y"},
      {"%63[^]]", "ab]c", 1, "ab", "]c"},
      {"%63[a-]", "a-a-b", 1, "a-a-", "b"},
      {"%63[^\n]", "line one\nline two", 1, "line one", "\nline two"},
      {"%2[ ]", "   x", 1, "  ", " x"},  // no white space skipped before "%["
      {"%63[a]", "ba", 0, nullptr, "ba"},
      {"%63[a]", "", -1, nullptr, ""},
      // The comment-line test: 1 and the line skipped, or 0 with only blanks consumed.
      {" %1[#]%*[^\n]", "  # note\nword", 1, "#", "\nword"},
      {" %1[#]%*[^\n]", "#\nword", 1, "#", "\nword"},
      {" %1[#]%*[^\n]", "  word", 0, nullptr, "word"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " over \"" + c.input + "\"");
    Input in(c.input);
    char buffer[1024];
    std::memset(buffer, 'Z', sizeof buffer);
    buffer[sizeof buffer - 1] = '\0';
    const std::string untouched = buffer;
    EXPECT_EQ(ds_scanf(in.get(), c.format, buffer), c.result);
    EXPECT_EQ(std::string(buffer), c.stored ? c.stored : untouched);
    EXPECT_EQ(in.rest(), c.rest);
  }
}

TEST(TokenReaderText, CharactersTakeExactlyTheWidth) {
  {
    Input in(" a b!");
    char bytes[5] = {'Z', 'Z', 'Z', 'Z', 'Z'};
    EXPECT_EQ(ds_scanf(in.get(), "%c%3c", &bytes[0], &bytes[1]), 2);
    EXPECT_EQ(std::string(bytes, 5), " a bZ");  // white space kept, no terminator
    EXPECT_EQ(in.rest(), "!");
  }
  {
    Input in("abc");
    char byte = 'Z';
    EXPECT_EQ(ds_scanf(in.get(), "%*2c%c", &byte), 1);
    EXPECT_EQ(byte, 'c');
  }
  {
    // Running short counts as the end of the input, and the destination stays as it was.
    Input in("5ab");
    int value = 0;
    char bytes[3] = {'Z', 'Z', 'Z'};
    EXPECT_EQ(ds_scanf(in.get(), "%d%3c", &value, bytes), 1);
    EXPECT_EQ(std::string(bytes, 3), "ZZZ");
    Input short_input("ab");
    EXPECT_EQ(ds_scanf(short_input.get(), "%3c", bytes), -1);
    EXPECT_EQ(std::string(bytes, 3), "ZZZ");
    EXPECT_EQ(short_input.rest(), "");
  }
}

TEST(TokenReaderTextDeathTest, StoredRunWithoutWidthIsRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const char* format : {"%s", "%[^\n]", "%0s"}) {
    SCOPED_TRACE(format);
    Input in("a line that could be longer than any buffer");
    char buffer[4] = {'Z', 'Z', 'Z', '\0'};
    EXPECT_DEBUG_DEATH(ds_scanf(in.get(), format, buffer), "needs a width");
    EXPECT_STREQ(buffer, "ZZZ");
    EXPECT_EQ(in.rest(), "a line that could be longer than any buffer");
  }
}

TEST(TokenReaderCount, CountsConsumedBytesSinceTheCallBegan) {
  Input in("123 x  y");
  int n = -1;
  short half = -1;
  EXPECT_EQ(ds_scanf(in.get(), "%d%n", &n, &n), 1);  // %n is not counted
  EXPECT_EQ(n, 3);
  // The blank that stopped %d sits in the pushback: it is not consumed yet.
  EXPECT_EQ(ds_scanf(in.get(), "%n", &n), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(ds_scanf(in.get(), " %hn", &half), 0);
  EXPECT_EQ(half, 1);
  EXPECT_EQ(data::ds_peek(in.get()), 'x');
  EXPECT_EQ(ds_scanf(in.get(), "%n%*c %hn", &n, &half), 0);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(half, 3);
  n = -1;
  EXPECT_EQ(ds_scanf(in.get(), "%*n"), 0);
  EXPECT_EQ(in.rest(), "y");
}

struct CommentCase {
  const char* input;
  const char* rest;
};

TEST(TokenReaderComments, SkipsCommentLinesAndTheBlanksAfterThem) {
  const CommentCase cases[] = {
      {"# one\n   # two\n\tword # not a comment\n", "word # not a comment\n"},
      {"  \n# to the end", ""},
      {"word", "word"},
      // A bare "#" stops the skipping: it is consumed, and the next comment line is not.
      {"#\n# two\nword", "\n# two\nword"},
  };
  for (const CommentCase& c : cases) {
    SCOPED_TRACE(c.input);
    Input in(c.input);
    EXPECT_EQ(data::ds_skip_comments(in.get()), 0);
    EXPECT_EQ(in.rest(), c.rest);
  }
}

TEST(TokenReaderReadInt, ValueOrTheSmallestInt) {
  Input in("  -7 x");
  EXPECT_EQ(data::ds_read_int(in.get()), -7);
  EXPECT_EQ(data::ds_read_int(in.get()), INT_MIN);
  EXPECT_EQ(in.rest(), "x");
  Input empty("");
  EXPECT_EQ(data::ds_read_int(empty.get()), INT_MIN);
}

// Sets environment variables for one test and puts the old values back.
class ScopedEnv {
 public:
  void set(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
    setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() {
    for (const auto& [name, old] : saved_) {
      if (old)
        setenv(name.c_str(), old->c_str(), 1);
      else
        unsetenv(name.c_str());
    }
    data::data_reset_for_test();
  }

 private:
  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

TEST(TokenReaderSources, PackEntriesEndAtTheirSize) {
  test_support::TempDir dir;
  // Entry "a" is "12 34", entry "b" is "567", back to back in the pack's data.
  dir.write("data/p.saf", "5 a\n3 b\n-\n12 34567");
  ScopedEnv env;
  env.set("XDG_DATA_HOME", dir.file("user"));
  env.set("KV_HOME", dir.file("data"));
  data::data_reset_for_test();

  data::DataStream* a = data::open_data("@a", "rb");
  ASSERT_NE(a, nullptr);
  int values[3] = {0, 0, kUntouched};
  int n = 0;
  EXPECT_EQ(ds_scanf(a, "%d %d%n %d", &values[0], &values[1], &n, &values[2]), 2);
  EXPECT_EQ(values[1], 34);
  EXPECT_EQ(values[2], kUntouched);
  EXPECT_EQ(n, 5);
  data::close_data(a);

  data::DataStream* b = data::open_data("@b", "rb");
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(data::ds_read_int(b), 567);
  data::close_data(b);
}

}  // namespace

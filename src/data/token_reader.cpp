// token_reader.cpp -- ds_scanf: the formatted scanner every text data file is read with.
//
// The scanner keeps no state of its own. It looks at the next byte with ds_peek and consumes it
// with ds_getc, so the byte that stops a conversion or a literal stays in the stream's pushback
// and is the first byte the next read of any kind sees, whatever the stream's source (plain
// file, pack entry, compressed or scrambled).
//
// The matching rules are part of every text format built on them. The one that shapes formats
// most: a literal that fails part-way keeps the bytes it already matched, so parsers read a
// keyword as a word (" %1023s ") and compare it, or only try literals whose first byte decides.
//
// Differences from the C library's scanf that callers must know:
//   - a failed literal returns -1 even after conversions were assigned;
//   - "l" only widens "%f" (double; "ll", "L" or "q": long double): integers are always stored
//     as int, or short with "h", and "%%" or any letter not listed below ends the call;
//   - a width of 0 is no width; "%s" and "%[" that store must have one (a run may be 1,000,000
//     bytes long and the scanner cannot know the buffer's size), "%*s" and "%*[" need none.
#include <cassert>
#include <cstdarg>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "data/data.h"

namespace data {

namespace {

// A width of 0 or none: "no limit", which still stops a run after this many bytes.
constexpr long kNoWidth = 1000000;
// Widths and written exponents stop growing here rather than overflow; no file comes near it.
constexpr long kNumberCap = 100000000;

// The power-of-ten table below needs the x87 extended format's exponent range.
static_assert(std::numeric_limits<long double>::max_exponent10 >= 4096,
              "long double must hold 10^4096");

bool is_space(int c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(int c) { return c >= '0' && c <= '9'; }
bool is_sign(int c) { return c == '+' || c == '-'; }

// 0-9, then a-z / A-Z as 10-35; 36 for a byte that is no digit in any base.
int digit_value(int c) {
  if (is_digit(c)) return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 36;
}

void skip_space(DataStream* stream) {
  while (is_space(ds_peek(stream))) ds_getc(stream);
}

// Bytes consumed so far; a byte sitting in the pushback was delivered but not consumed.
long consumed(const DataStream* stream) {
  return stream->position - (stream->pushback >= 0 ? 1 : 0);
}

// One conversion's view of the input: the bytes its width still allows.
struct Field {
  DataStream* stream;
  long left;
};

// Consumes the next byte when the width allows it and `accept` takes it; otherwise leaves it
// unread and returns -1.
template <class Accept>
int take(Field& field, Accept accept) {
  if (field.left <= 0) return -1;
  const int c = ds_peek(field.stream);
  if (c < 0 || !accept(c)) return -1;
  ds_getc(field.stream);
  --field.left;
  return c;
}

// Optional sign, then digits of `base`; base 0 is "%i": "0x" means hexadecimal, a leading "0"
// octal. The value wraps in 32 bits, which strtol cannot do, hence the hand-written loop.
// Returns false when no digit was read ("0x" alone reads as 0: the "0" is a digit).
bool scan_integer(Field& field, int base, std::uint32_t* value) {
  const int sign = take(field, is_sign);
  bool any = false;
  if (base == 0) {
    base = 10;
    if (take(field, [](int c) { return c == '0'; }) >= 0) {
      any = true;
      base = 8;
      if (take(field, [](int c) { return c == 'x' || c == 'X'; }) >= 0) base = 16;
    }
  }
  std::uint32_t total = 0;
  for (int c; (c = take(field, [base](int b) { return digit_value(b) < base; })) >= 0;) {
    total = total * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit_value(c));
    any = true;
  }
  if (!any) return false;
  *value = sign == '-' ? 0u - total : total;
  return true;
}

// mantissa * 10^exponent, the power built from 10^(2^k) factors. The data files were tuned
// against exactly this rounding; strtold's correctly rounded result differs in the last bit for
// some texts, so it is not used here.
long double scale_by_ten(long double mantissa, long exponent) {
  static constexpr long double kPowers[] = {1e1L,  1e2L,   1e4L,   1e8L,   1e16L,   1e32L,
                                            1e64L, 1e128L, 1e256L, 1e512L, 1e1024L, 1e2048L};
  // Zero stays zero: 0 * 10^5000 would otherwise be 0 * inf, a NaN.
  if (mantissa == 0 || exponent == 0) return mantissa;
  const long n = exponent < 0 ? -exponent : exponent;
  long double power = 1;
  for (int k = 0; k < 12; ++k) {
    if (n & (1L << k)) power *= kPowers[k];
  }
  for (long repeat = n >> 12; repeat > 0; --repeat) power *= 1e4096L;
  return exponent < 0 ? mantissa / power : mantissa * power;
}

// Optional sign; digits with at most one point among them; optionally "e"/"E", a sign and
// digits. An "e" with no digits after it is consumed and means exponent 0. Returns false when
// neither a digit nor the point was read.
bool scan_float(Field& field, long double* value) {
  const int sign = take(field, is_sign);
  long double mantissa = 0;
  long after_point = 0;
  bool point = false;
  bool any = false;
  for (int c; (c = take(field, [&](int b) { return is_digit(b) || (b == '.' && !point); })) >= 0;) {
    any = true;
    if (c == '.') {
      point = true;
      continue;
    }
    mantissa = mantissa * 10 + (c - '0');
    if (point) ++after_point;
  }
  if (!any) return false;
  long written = 0;
  if (take(field, [](int c) { return c == 'e' || c == 'E'; }) >= 0) {
    const int exponent_sign = take(field, is_sign);
    for (int c; (c = take(field, is_digit)) >= 0;) {
      if (written < kNumberCap) written = written * 10 + (c - '0');
    }
    if (exponent_sign == '-') written = -written;
  }
  const long double magnitude = scale_by_ten(mantissa, written - after_point);
  *value = sign == '-' ? -magnitude : magnitude;
  return true;
}

// The members of a "%[" scan set.
struct ScanSet {
  bool member[256] = {};
};

// Parses the set after "%[" (p points just past the "["). Returns where the format goes on after
// the closing "]", or nullptr when the format ends first.
const char* parse_scan_set(const char* p, ScanSet* set) {
  bool negate = false;
  if (*p == '^') {
    negate = true;
    ++p;
  }
  bool in[256] = {};
  int previous = -1;  // the last single member, which a "-" may turn into a range
  // A "]" right after "[" or "[^" is a member, not the end.
  const char* first = p;
  for (; *p != ']' || p == first; ++p) {
    if (!*p) return nullptr;
    const int c = static_cast<unsigned char>(*p);
    if (c == '-' && previous >= 0 && p[1] && p[1] != ']') {
      // Either order names the same range: "z-a" is "a-z".
      const int end = static_cast<unsigned char>(*++p);
      const int low = previous < end ? previous : end;
      const int high = previous < end ? end : previous;
      for (int b = low; b <= high; ++b) in[b] = true;
      previous = -1;
      continue;
    }
    in[c] = true;
    previous = c;
  }
  for (int b = 0; b < 256; ++b) set->member[b] = in[b] != negate;
  return p + 1;
}

// Consumes a run of bytes that `accept` takes, at most the width; stores them and a
// terminator when `out` is given. Returns the run's length.
template <class Accept>
long scan_run(Field& field, Accept accept, char* out) {
  long n = 0;
  for (int c; (c = take(field, accept)) >= 0; ++n) {
    if (out) out[n] = static_cast<char>(c);
  }
  if (out && n > 0) out[n] = '\0';
  return n;
}

// What sits between "%" and the conversion letter.
struct Conversion {
  long width = 0;  // 0: none given
  bool suppress = false;
  bool half = false;  // "h": short destination
  int precision = 0;  // "%f" destination: 0 float, 1 double, 2 long double
};

// Reads the modifiers in any order; returns the position of the conversion letter.
const char* parse_conversion(const char* p, Conversion* conv) {
  for (;; ++p) {
    if (is_digit(static_cast<unsigned char>(*p))) {
      if (conv->width < kNumberCap) conv->width = conv->width * 10 + (*p - '0');
    } else if (*p == '*') {
      conv->suppress = true;
    } else if (*p == 'h') {
      conv->half = true;
    } else if (*p == 'l') {
      if (conv->precision < 2) ++conv->precision;
    } else if (*p == 'L' || *p == 'q') {
      conv->precision = 2;
    } else {
      return p;
    }
  }
}

// The body of ds_scanf; reads its destinations from `args`.
int scan_stream(DataStream* stream, const char* format, va_list args) {
  const long start = consumed(stream);
  int count = 0;
  for (const char* p = format; *p;) {
    const int f = static_cast<unsigned char>(*p);
    if (is_space(f)) {
      skip_space(stream);
      ++p;
      continue;
    }
    if (f != '%') {
      // A literal does not skip white space and keeps whatever matched before it failed.
      if (ds_peek(stream) != f) return -1;
      ds_getc(stream);
      ++p;
      continue;
    }

    Conversion conv;
    p = parse_conversion(p + 1, &conv);
    const char letter = *p;
    if (!letter || !std::strchr("dioxXfsc[n", letter)) return count;
    ++p;

    if (letter == 'n') {
      if (!conv.suppress) {
        const long n = consumed(stream) - start;
        if (conv.half)
          *va_arg(args, short*) = static_cast<short>(n);
        else
          *va_arg(args, int*) = static_cast<int>(n);
      }
      continue;
    }

    ScanSet set;
    if (letter == '[') {
      p = parse_scan_set(p, &set);
      if (!p) return count;
    }
    if ((letter == 's' || letter == '[') && !conv.suppress && conv.width == 0) {
      assert(false && "ds_scanf: a stored %s or %[ needs a width");
      return count;
    }
    if (letter != 'c' && letter != '[') skip_space(stream);
    // The input ended before the conversion's first byte.
    if (ds_peek(stream) < 0) return count > 0 ? count : -1;
    Field field{stream, conv.width > 0 ? conv.width : kNoWidth};

    switch (letter) {
      case 'f': {
        long double value = 0;
        if (!scan_float(field, &value)) return count;
        if (conv.suppress) break;
        if (conv.precision == 0)
          *va_arg(args, float*) = static_cast<float>(value);
        else if (conv.precision == 1)
          *va_arg(args, double*) = static_cast<double>(value);
        else
          *va_arg(args, long double*) = value;
        ++count;
        break;
      }
      case 's':
      case '[': {
        char* out = conv.suppress ? nullptr : va_arg(args, char*);
        const auto in_word = [](int c) { return !is_space(c); };
        const auto in_set = [&set](int c) { return set.member[c]; };
        const long n = letter == 's' ? scan_run(field, in_word, out) : scan_run(field, in_set, out);
        if (n == 0) return count;
        if (!conv.suppress) ++count;
        break;
      }
      case 'c': {
        // Collected aside, so that the destination stays untouched when the input runs short.
        const long want = conv.width > 0 ? conv.width : 1;
        std::string bytes;
        for (long got = 0; got < want; ++got) {
          const int c = ds_getc(stream);
          if (c < 0) return count > 0 ? count : -1;
          if (!conv.suppress) bytes.push_back(static_cast<char>(c));
        }
        if (conv.suppress) break;
        std::memcpy(va_arg(args, char*), bytes.data(), bytes.size());
        ++count;
        break;
      }
      default: {  // d i o x X
        const int base = letter == 'd' ? 10 : letter == 'i' ? 0 : letter == 'o' ? 8 : 16;
        std::uint32_t value = 0;
        if (!scan_integer(field, base, &value)) return count;
        if (conv.suppress) break;
        if (conv.half)
          *va_arg(args, short*) = static_cast<short>(value);
        else
          *va_arg(args, int*) = static_cast<int>(value);
        ++count;
        break;
      }
    }
  }
  return count;
}

}  // namespace

int ds_scanf(DataStream* stream, const char* format, ...) {
  assert(stream && format);
  if (!stream || !format) return -1;
  va_list args;
  va_start(args, format);
  const int result = scan_stream(stream, format, args);
  va_end(args);
  return result;
}

int ds_skip_comments(DataStream* stream) {
  int consumed_by_scan;
  do {
    consumed_by_scan = 0;
    ds_scanf(stream, " #%*[^\n]%n", &consumed_by_scan);
  } while (consumed_by_scan > 0);
  return 0;
}

int ds_read_int(DataStream* stream) {
  int value = 0;
  if (ds_scanf(stream, "%d", &value) == 1) return value;
  return std::numeric_limits<int>::min();
}

}  // namespace data

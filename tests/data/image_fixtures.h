// image_fixtures.h -- small image files built in the tests: PNG through libpng, J6/J7, PPM.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <string>
#include <vector>

namespace image_fixtures {

struct PngSpec {
  int width = 1;
  int height = 1;
  int colour_type = PNG_COLOR_TYPE_RGB;
  int bit_depth = 8;
  bool interlaced = false;
  std::vector<unsigned char> rows;   // packed rows as libpng takes them
  std::vector<png_color> palette;    // palette images
  std::vector<unsigned char> trans;  // palette alphas
  bool trans_colour = false;         // a transparent colour for RGB / grey
  png_color_16 colour{};
  std::vector<std::string> text_before;  // tEXt chunks before the image data
  std::vector<std::string> text_after;   // and after it
};

inline void append_bytes(png_structp png, png_bytep data, std::size_t size) {
  static_cast<std::string*>(png_get_io_ptr(png))->append(reinterpret_cast<char*>(data), size);
}

inline void add_text(png_structp png, png_infop info, const std::vector<std::string>& texts) {
  std::vector<png_text> chunks(texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
    chunks[i].key = const_cast<char*>("Comment");
    chunks[i].text = const_cast<char*>(texts[i].c_str());
  }
  if (!chunks.empty()) png_set_text(png, info, chunks.data(), static_cast<int>(chunks.size()));
}

// The PNG file for `spec`; empty when libpng refused it.
inline std::string make_png(const PngSpec& spec) {
  std::string out;
  const std::size_t row_bytes = spec.rows.size() / spec.height;
  std::vector<png_bytep> rows(spec.height);
  for (int y = 0; y < spec.height; ++y) {
    rows[y] = const_cast<png_bytep>(spec.rows.data() + y * row_bytes);
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return "";
  }
  png_set_write_fn(png, &out, append_bytes, nullptr);
  png_set_IHDR(png, info, spec.width, spec.height, spec.bit_depth, spec.colour_type,
               spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!spec.palette.empty()) {
    png_set_PLTE(png, info, spec.palette.data(), static_cast<int>(spec.palette.size()));
  }
  if (!spec.trans.empty()) {
    png_set_tRNS(png, info, spec.trans.data(), static_cast<int>(spec.trans.size()), nullptr);
  }
  if (spec.trans_colour) png_set_tRNS(png, info, nullptr, 0, &spec.colour);
  add_text(png, info, spec.text_before);
  png_write_info(png, info);
  png_write_image(png, rows.data());
  add_text(png, info, spec.text_after);
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

// An 8-bit RGB (3 channels) or RGBA (4) PNG of the given pixels.
inline std::string make_png(int width, int height, int channels,
                            const std::vector<unsigned char>& pixels,
                            std::vector<std::string> text = {}) {
  PngSpec spec;
  spec.width = width;
  spec.height = height;
  spec.colour_type = channels == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB;
  spec.rows = pixels;
  spec.text_before = std::move(text);
  return make_png(spec);
}

// width x height pixels of one colour.
inline std::vector<unsigned char> solid(int width, int height, std::vector<unsigned char> colour) {
  std::vector<unsigned char> out;
  for (int i = 0; i < width * height; ++i) out.insert(out.end(), colour.begin(), colour.end());
  return out;
}

// A "J6"/"J7" file: each byte is the pixel minus the format's prediction.
inline std::string make_jimage(int width, int height, int channels,
                               const std::vector<unsigned char>& pixels) {
  std::string out = (channels == 4 ? "J7\n" : "J6\n") + std::to_string(width) + " " +
                    std::to_string(height) + "\n";
  const int stride = width * channels;
  for (int y = 0; y < height; ++y) {
    for (int i = 0; i < stride; ++i) {
      const int at = y * stride + i;
      int prediction;
      if (y == 0) {
        prediction = i < channels ? 0 : pixels[at - channels];
      } else if (i < channels) {
        prediction = pixels[at - stride];
      } else {
        prediction = pixels[at - stride] + pixels[at - channels] - pixels[at - stride - channels];
        prediction = prediction < 0 ? 0 : prediction > 255 ? 255 : prediction;
      }
      out.push_back(static_cast<char>(pixels[at] - prediction));
    }
  }
  return out;
}

}  // namespace image_fixtures

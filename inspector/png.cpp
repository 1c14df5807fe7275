// Writes a picture as a PNG with libpng, to any stream buffer (an output file's, a test's).
#include <png.h>

#include <csetjmp>

#include "picture.h"

namespace inspector {
namespace {

// An exception must not unwind through libpng's C frames: a stream that throws is a failed
// write, reported by libpng's own way out.
void writeBytes(png_structp png, png_bytep data, png_size_t size) {
  auto* out = static_cast<std::streambuf*>(png_get_io_ptr(png));
  bool whole = false;
  try {
    whole = out->sputn(reinterpret_cast<const char*>(data), std::streamsize(size)) ==
            std::streamsize(size);
  } catch (...) {
  }
  if (!whole) png_error(png, "write failed");
}

// libpng would print its errors; the program says what failed, once, in its own words.
void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

void flushNothing(png_structp) {}  // the output file is flushed once, when it is finished

// libpng reports an error by jumping back to the setjmp below: between the two, only libpng's
// own state and plain values may live, no object with a destructor.
bool writeRows(png_structp png, png_infop info, std::streambuf& out, const Image& image,
               png_textp text, int textCount) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_write_fn(png, &out, writeBytes, flushNothing);
  png_set_IHDR(png, info, png_uint_32(image.width), png_uint_32(image.height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_set_text(png, info, text, textCount);
  png_write_info(png, info);
  for (int row = 0; row < image.height; ++row)
    png_write_row(png, &image.rgb[std::size_t(row) * image.width * 3]);
  png_write_end(png, info);
  return true;
}

}  // namespace

bool writePng(std::streambuf& out, const Image& image,
              const std::vector<std::pair<std::string, std::string>>& text) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  std::vector<png_text> chunks(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    chunks[i].compression = PNG_TEXT_COMPRESSION_NONE;
    chunks[i].key = const_cast<char*>(text[i].first.c_str());
    chunks[i].text = const_cast<char*>(text[i].second.c_str());
    chunks[i].text_length = text[i].second.size();
  }
  bool written = info && writeRows(png, info, out, image, chunks.data(), int(chunks.size()));
  png_destroy_write_struct(&png, info ? &info : nullptr);
  return written;
}

}  // namespace inspector

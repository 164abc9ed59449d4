#include "cli/png_writer.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include "cli/command_error.h"
#include "system/file_beside.h"
#include "system/files.h"
#include "system/stop_requests.h"

namespace quillfen::cli {
namespace {

// libpng reports failures by a long jump out of its calls; nothing with a
// destructor may live between the setjmp and those calls.
bool write_rows(std::FILE* file, const RgbImage& image) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < image.height(); ++y) png_write_row(png, image.row(y));
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool can_write_png() { return true; }

void write_png(const std::string& path, const RgbImage& image) {
  // Ctrl-C and SIGTERM wait while the file beside OUTPUT exists: they take
  // effect once it has become OUTPUT or is gone.
  const system::StopRequestsHeld held;
  std::string temporary;
  const int fd = system::create_file_beside(path, ".", temporary);
  if (fd < 0) throw CommandError("quillfen: cannot write OUTPUT \"" + path + "\": " + std::strerror(errno));
  std::FILE* file = system::stream_on_copy(fd);
  const int opening_errno = errno;
  system::close_file(fd);
  if (!file) {
    system::remove_file(temporary);
    throw CommandError("quillfen: cannot write OUTPUT \"" + path + "\": " + std::strerror(opening_errno));
  }
  const bool written = write_rows(file, image);
  const int saved_errno = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed || !system::replace_file(temporary, path)) {
    const int error = written && closed ? errno : saved_errno;
    system::remove_file(temporary);
    throw CommandError("quillfen: cannot write OUTPUT \"" + path + "\"" +
                       (error ? std::string(": ") + std::strerror(error) : std::string()));
  }
}

}  // namespace quillfen::cli

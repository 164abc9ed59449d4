// Times the straightforward propagation pass, the definition of every output
// byte, on each frame of a 4:2:2 Y4M clip: one pass per frame, one thread,
// unpacked the way the filter unpacks (interpolated chroma). Prints the mean
// milliseconds per frame, the yardstick that the whole command's per-frame
// time is compared with.
//
//   quillfen_reference_pass CLIP.y4m RADIUS linear|gaussian
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "image/packed_yuv444.h"
#include "image/planar_conversion.h"
#include "propagation/propagation_pass.h"
#include "y4m/y4m_error.h"
#include "y4m/y4m_reader.h"

namespace quillfen {

int run_program(int argc, char** argv) {
  if (argc != 4 || (std::string(argv[3]) != "linear" && std::string(argv[3]) != "gaussian")) {
    std::fprintf(stderr, "usage: %s CLIP.y4m RADIUS linear|gaussian\n", argv[0]);
    return 2;
  }
  const int fd = ::open(argv[1], O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(argv[1]);
    return 1;
  }
  try {
    quillfen::y4m::Y4mReader reader(fd);
    const quillfen::y4m::Y4mHeader& header = reader.header();
    if (header.chroma != quillfen::y4m::Y4mChroma::k422) {
      std::fprintf(stderr, "%s: the clip must be 4:2:2\n", argv[1]);
      return 1;
    }
    const int width = header.width, height = header.height;
    const PassSettings settings{width, height, std::atoi(argv[2]), std::string(argv[3]) == "gaussian"};
    std::vector<std::uint8_t> planes(reader.frame_bytes());
    std::vector<std::uint8_t> current(packed_yuv444_size(width, height)), next(current.size());
    double seconds = 0;
    int frames = 0;
    while (reader.read_frame(planes.data())) {
      const std::uint8_t* u = planes.data() + static_cast<std::size_t>(width) * height;
      const std::uint8_t* v = u + static_cast<std::size_t>(width / 2) * height;
      unpack_planar_422({planes.data(), u, v, width, width / 2, width / 2}, false, width, height, current.data());
      const auto start = std::chrono::steady_clock::now();
      volatile int change = propagation_pass_reference(settings, current.data(), next.data());
      (void)change;
      seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      ++frames;
    }
    if (frames == 0) {
      std::fprintf(stderr, "%s: no frames\n", argv[1]);
      return 1;
    }
    std::printf("%.1f\n", seconds * 1e3 / frames);
  } catch (const quillfen::y4m::Y4mError& error) {
    std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }

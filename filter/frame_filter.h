// One frame through the filter, whatever host it comes from: its samples
// become the working image, the image gets its passes, and the result goes
// back into the host's frame. Every binding stands on it: the AviSynth 2.5
// clip, the AviSynth+ C-interface module, the VapourSynth module and the
// command. It knows nothing of any host; a binding hands it plain pointers
// and pitches.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "filter/quillfen_parameters.h"
#include "image/packed_yuv444.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/pass_workspace.h"
#include "propagation/pass_kernels.h"

namespace quillfen {

// How a frame holds its samples: three planes with chroma at half width and
// half height, at half width, or at full size; or YUY2, one plane of 8-bit
// pixel pairs Y0 U Y1 V.
enum class ChromaLayout { k420, k422, k444, kYuy2 };

struct FrameFormat {
  int width;
  int height;
  ChromaLayout layout;
  // 8 to 16 (YUY2: 8), or kFloatBits. Samples of 8 bits are bytes; deeper
  // ones are std::uint16_t in the machine's order, the clip's own codes;
  // kFloatBits ones are float, the host's own values (luma nominally 0 to
  // 1, chroma -0.5 to 0.5).
  int bits;
};

// Bytes of one sample of a frame of `format`.
inline int bytes_per_sample(const FrameFormat& format) {
  return format.bits == kFloatBits ? 4 : format.bits > 8 ? 2 : 1;
}

// Y, U and V; pitches in bytes. YUY2 uses data[0] and pitch[0] alone.
// Planes of wide samples start and pitch on even addresses, of floats on
// multiples of 4.
struct FramePlanes {
  const std::uint8_t* data[3];
  std::ptrdiff_t pitch[3];
};

// Where a frame is written; pitches in bytes. Planar layouts write U and V
// into data[1] and data[2], and the luma into data[0] only when it is given
// (null keeps a luma plane the caller shares with the source or already
// holds). YUY2 writes the whole frame, luma included, into data[0].
struct FrameDestination {
  std::uint8_t* data[3];
  std::ptrdiff_t pitch[3];
};

// Filters one frame at a time with the working images it owns; separate
// filters share nothing, so each concurrent frame takes a filter of its own.
class FrameFilter {
 public:
  // `format` and `parameters` as clip_refusal accepts them. Allocates every
  // working image here, so that a frame allocates nothing; throws
  // std::bad_alloc when memory runs out.
  FrameFilter(const FrameFormat& format, const QuillfenParameters& parameters, const PassKernel& kernel);

  // Reads a frame into the working image; the source can be let go after.
  void read(const FramePlanes& source);

  // Runs the passes over the frame last read and writes the result, which
  // may not overlap the source. Returns the passes run, or 0 when a stop
  // request ended the frame first, having written nothing.
  int write(const FrameDestination& destination);

  // From now on write() looks at `requested`, which outlives the filter,
  // before each pass, and once it is set ends the frame there.
  void stop_between_passes(const std::atomic<bool>* requested) { stop_ = requested; }

  int filter(const FramePlanes& source, const FrameDestination& destination) {
    read(source);
    return write(destination);
  }

  const FrameFormat& format() const { return format_; }

 private:
  template <class Sample>
  struct WorkingImages {
    explicit WorkingImages(const FrameFormat& format);
    PackedImage<Sample> current;
    PackedImage<Sample> next;
    std::vector<Sample> scratch;  // rows for the 4:2:0 conversions
  };
  using AnyWorkingImages =
      std::variant<WorkingImages<std::uint8_t>, WorkingImages<std::uint16_t>, WorkingImages<float>>;

  static AnyWorkingImages make_images(const FrameFormat& format);
  template <class Sample>
  void read_samples(WorkingImages<Sample>& images, const FramePlanes& source);
  template <class Sample>
  int write_samples(WorkingImages<Sample>& images, const FrameDestination& destination);

  const FrameFormat format_;
  const QuillfenParameters parameters_;
  const PassKernel& kernel_;
  AnyWorkingImages images_;
  std::unique_ptr<GaussianWeightCache> gaussian_memo_;  // for the Gaussian form only
  std::unique_ptr<PassWorkspace> pass_workspace_;  // the kernels' working memory
  const std::atomic<bool>* stop_ = nullptr;
};

}  // namespace quillfen

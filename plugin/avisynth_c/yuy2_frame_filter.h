// Quillfen's work on YUY2 frames with no host in sight, for a binding that
// hands over frames as plain pointers and pitches: a source frame is read
// into the working image, the passes run, and the result is written as a
// YUY2 frame with the same luma. The working images are made once, with the
// instance, so that a frame allocates nothing; one frame at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "filter/quillfen_parameters.h"
#include "image/packed_yuv444.h"
#include "propagation/gaussian_weight_cache.h"
#include "propagation/pass_kernels.h"

class Yuy2FrameFilter {
 public:
  // The parameters and the frame size must have passed parameter_error and
  // frame_size_error. Throws std::bad_alloc when the working images cannot
  // be made.
  Yuy2FrameFilter(const QuillfenParameters& parameters, const PassKernel& kernel, int width, int height);

  // Reads the width x height pixels of a YUY2 frame into the working image;
  // the source frame can be let go afterwards.
  void read_source(const std::uint8_t* source, int source_pitch);

  // Runs the passes over the image last read and writes the result into a
  // YUY2 frame of the same size.
  void write_filtered(std::uint8_t* destination, int destination_pitch);

 private:
  const QuillfenParameters parameters_;
  const PassKernel& kernel_;
  const int width_;
  const int height_;
  PackedYuv444 current_;
  PackedYuv444 next_;
  std::unique_ptr<GaussianWeightCache> gaussian_memo_;  // for the Gaussian form only
  std::unique_ptr<PassWorkspace> pass_workspace_;
};

#include "plugin/avisynth_c/yuy2_frame_filter.h"

#include <cstring>

#include "filter/pass_control.h"
#include "image/yuy2_conversion.h"

Yuy2FrameFilter::Yuy2FrameFilter(const QuillfenParameters& parameters, const PassKernel& kernel, int width,
                                 int height)
    : parameters_(parameters), kernel_(kernel), width_(width), height_(height), current_(width, height),
      next_(width, height), gaussian_memo_(gaussian_weight_memo_for(parameters.gaussian)),
      pass_workspace_(make_pass_workspace()) {}

void Yuy2FrameFilter::read_source(const std::uint8_t* source, int source_pitch) {
  unpack_yuy2(source, source_pitch, parameters_.sup, width_, height_, current_.data());
}

void Yuy2FrameFilter::write_filtered(std::uint8_t* destination, int destination_pitch) {
  std::uint8_t* current = current_.data();
  const std::uint8_t* next = next_.data();
  const std::size_t image_bytes = current_.size_bytes();
  run_passes(kernel_, {width_, height_, parameters_.radius, parameters_.gaussian}, parameters_.iterations,
             parameters_.threshold, current, next_.data(), gaussian_memo_.get(), *pass_workspace_,
             [&] { std::memcpy(current, next, image_bytes); });
  pack_yuy2(current, width_, height_, destination, destination_pitch);
}

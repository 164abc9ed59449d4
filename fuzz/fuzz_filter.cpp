// The filter end to end on tiny frames with fuzzed parameters and pixels,
// and every propagation kernel against the reference pass on a fuzzed image
// of bytes, of 16-bit codes or of floats.
//
// The filter must refuse exactly the parameters outside their ranges, with a
// message of its own; otherwise each frame it returns must keep the source's
// luma, equal what the reference pass gives through the same conversions
// and the same pass control, and come out the same when asked for again
// after another frame. Every kernel must store the reference's samples, every
// sample of the output, and return the reference's change.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "filter/pass_control.h"
#include "filter/quillfen_filter.h"
#include "host/avisynth_interface.h"
#include "image/packed_yuv444.h"
#include "image/yuy2_conversion.h"
#include "propagation/pass_kernels.h"
#include "propagation/propagation_pass.h"
#include "server/script_environment.h"
#include "server/y4m_frame_conversion.h"
#include "server/y4m_source_clip.h"
#include "y4m/y4m_header.h"

namespace quillfen {

namespace {

using quillfen::server::ScriptEnvironment;
using quillfen::server::Y4mSourceClip;

void check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "fuzz_filter: %s\n", what);
  std::abort();
}

// `count` bytes from the input; once it runs dry, the bytes taken so far
// repeat, so that short inputs still give images that are not flat.
std::vector<BYTE> take_bytes(FuzzedDataProvider& input, std::size_t count) {
  std::vector<BYTE> bytes = input.ConsumeBytes<BYTE>(count);
  const std::size_t taken = bytes.size();
  bytes.resize(count);
  for (std::size_t i = taken; taken > 0 && i < count; ++i) bytes[i] = static_cast<BYTE>(bytes[i - taken] + 37);
  return bytes;
}

// A fuzzed call: the frame size and the filter's settings.
struct FilterParameters : QuillfenParameters {
  int width, height;

  bool in_range() const {
    return radius >= 1 && iterations >= 0 && threshold >= 0 && threshold <= 255 && radius <= width - 1 &&
           radius <= height - 1;
  }
};

// The frame the filter must return: the source frame unpacked, the
// reference pass run under the filter's pass control, packed again; rows of
// 2 * width bytes back to back.
std::vector<BYTE> reference_frame(const FilterParameters& p, const PVideoFrame& source) {
  PackedYuv444 current(p.width, p.height), next(p.width, p.height);
  unpack_yuy2(source->GetReadPtr(), source->GetPitch(), p.sup, p.width, p.height, current.data());
  const PassSettings settings{p.width, p.height, p.radius, p.gaussian};
  const int passes = p.iterations > 0 ? p.iterations : kMaxConvergencePasses;
  for (int pass = 0; pass < passes; ++pass) {
    const int change = propagation_pass_reference(settings, current.data(), next.data());
    std::copy(next.data(), next.data() + next.size_bytes(), current.data());
    if (p.iterations == 0 && change <= p.threshold) break;
  }
  std::vector<BYTE> frame(static_cast<std::size_t>(2 * p.width) * p.height);
  pack_yuy2(current.data(), p.width, p.height, frame.data(), 2 * p.width);
  return frame;
}

std::vector<BYTE> rows_of(const PVideoFrame& frame, int row_size, int height) {
  std::vector<BYTE> rows;
  for (int y = 0; y < height; ++y) {
    const BYTE* row = frame->GetReadPtr() + static_cast<std::size_t>(y) * frame->GetPitch();
    rows.insert(rows.end(), row, row + row_size);
  }
  return rows;
}

void fuzz_filter_frames(FuzzedDataProvider& input) {
  FilterParameters p{};
  p.width = 2 * input.ConsumeIntegralInRange(1, 6);
  p.height = input.ConsumeIntegralInRange(1, 8);
  p.sup = input.ConsumeBool();
  p.gaussian = input.ConsumeBool();
  p.radius = input.ConsumeIntegralInRange(-1, 8);
  p.iterations = input.ConsumeIntegralInRange(-1, 3);
  p.threshold = input.ConsumeIntegralInRange(-1, 256);
  // Waiting for convergence may run the whole pass bound, here twice over:
  // only frames of a few pixels keep such inputs quick enough to fuzz.
  if (p.iterations == 0 && p.width * p.height > 16) return;

  const std::string header_line =
      "YUV4MPEG2 W" + std::to_string(p.width) + " H" + std::to_string(p.height) + " F25:1 C422";
  const quillfen::y4m::Y4mHeader header = quillfen::y4m::parse_y4m_header(header_line);
  const std::size_t plane_bytes = y4m_frame_bytes(header);
  const std::vector<BYTE> planes[2] = {take_bytes(input, plane_bytes), take_bytes(input, plane_bytes)};

  ScriptEnvironment env;
  Y4mSourceClip* source = new Y4mSourceClip(header, 2);
  const PClip source_clip = source;
  PClip filter;
  try {
    filter = new QuillfenFilter(source_clip, p, &env);
  } catch (const AvisynthError& error) {
    check(!p.in_range(), "parameters in range are refused");
    check(std::string_view(error.msg).substr(0, 10) == "Quillfen: ", "a refusal is not the filter's own message");
    return;
  }
  check(p.in_range(), "parameters out of range are accepted");

  const int row_size = 2 * p.width;
  std::vector<std::vector<BYTE>> results;
  for (const int n : {0, 1, 0}) {
    const PVideoFrame frame = env.NewVideoFrame(source->GetVideoInfo());
    quillfen::server::y4m_planes_to_frame(header, planes[n].data(), frame);
    source->supply(n, &frame);
    const std::vector<BYTE> expected = reference_frame(p, source->GetFrame(n, &env));
    const std::vector<BYTE> result = rows_of(filter->GetFrame(n, &env), row_size, p.height);
    for (std::size_t i = 0; i < result.size(); i += 2)
      check(result[i] == planes[n][i / 2], "the filter changed a luma byte");
    check(result == expected, "the filter's frame differs from the reference pass's");
    results.push_back(result);
  }
  check(results[2] == results[0], "a frame asked for again comes out different");
}

// Every kernel on one image: the same samples and the same change as the
// reference, the whole output written.
template <class Sample>
void check_kernels(const PassSettings& settings, const std::vector<Sample>& current) {
  std::vector<Sample> expected(current.size(), Sample{0x5A});
  const auto expected_change = propagation_pass_reference(settings, current.data(), expected.data());
  const std::unique_ptr<GaussianWeightCache> memo = gaussian_weight_memo_for(settings.gaussian);
  const std::unique_ptr<PassWorkspace> workspace = make_pass_workspace();
  for (const PassKernel& kernel : supported_pass_kernels()) {
    std::vector<Sample> next(current.size(), Sample{0xA5});
    const auto change = run_pass_kernel(kernel, settings, current.data(), next.data(), memo.get(), *workspace);
    // Bit for bit: a float NaN must come back as the same NaN.
    const bool same = next.empty() || std::memcmp(next.data(), expected.data(), next.size() * sizeof(Sample)) == 0;
    if (!same || change != expected_change) {
      std::fprintf(stderr, "fuzz_filter: kernel %s: %dx%d radius %d %s, %d bits\n", kernel.name, settings.width,
                   settings.height, settings.radius, settings.gaussian ? "gaussian" : "linear", settings.bits);
      check(change == expected_change, "a kernel returns another change than the reference");
      check(false, "a kernel stores other samples than the reference");
    }
  }
}

void fuzz_kernels(FuzzedDataProvider& input) {
  // Wide enough for several runs of vector lanes side by side.
  const int width = input.ConsumeIntegralInRange(0, 160);
  const int height = input.ConsumeIntegralInRange(0, 16);
  const bool empty = width == 0 || height == 0;
  // A pass needs a radius below both sizes unless the image has no pixels.
  if (!empty && (width < 2 || height < 2)) return;
  const int largest_radius = empty ? 8 : std::min({width - 1, height - 1, 14});
  PassSettings settings{width, height, input.ConsumeIntegralInRange(1, largest_radius), input.ConsumeBool()};
  // 17 stands for float samples.
  settings.bits = input.ConsumeIntegralInRange(8, 17);
  // Samples the reference visits; more would make the input slow to fuzz.
  const int square = 2 * settings.radius + 1;
  if (width * height * square * square > 150000) return;

  const std::size_t samples = packed_yuv444_size(width, height);
  if (settings.bits == 8) return check_kernels(settings, take_bytes(input, samples));
  if (settings.bits == 17) {
    // Any bit pattern: NaN, infinities and subnormals too.
    settings.bits = kFloatBits;
    const std::vector<BYTE> bytes = take_bytes(input, 4 * samples);
    std::vector<float> current(samples);
    if (samples > 0) std::memcpy(current.data(), bytes.data(), bytes.size());
    return check_kernels(settings, current);
  }
  // Codes of any value, those above the depth's range included: the kernels
  // must stay within their memory and agree with the reference on them too.
  const std::vector<BYTE> bytes = take_bytes(input, 2 * samples);
  std::vector<std::uint16_t> current(samples);
  for (std::size_t i = 0; i < samples; ++i)
    current[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  check_kernels(settings, current);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  fuzz_filter_frames(input);
  fuzz_kernels(input);
  return 0;
}

}  // namespace quillfen

// The arguments of a Quillfen call after its clip, each defined once in
// kQuillfenParameters: name, kind, default, accepted range and the words a
// value outside it is refused in. The AviSynth signature and the factory's
// reads, the VapourSynth registration and reads, and the command's help are
// made from the table; a test holds the README's table of arguments to it.
#pragma once

#include <climits>
#include <cstdint>
#include <string_view>

namespace quillfen {

// The script function these are the arguments of, by this name in every host.
inline constexpr char kQuillfenFunctionName[] = "Quillfen";

// Passes run at most this often per frame, in either mode. Waiting for
// convergence (iterations 0), the linear affinity with a small threshold
// may never converge, and a frame request must still return; a fixed count
// (iterations) takes no more, so that no setting makes a frame take longer
// than the convergence mode at its worst, and a frame request always
// returns.
inline constexpr int kMaxConvergencePasses = 1000;

struct QuillfenParameters;

struct QuillfenParameter {
  const char* name;
  // The field the argument sets: `flag` for a bool, `number` for an int;
  // the other is null.
  bool QuillfenParameters::*flag;
  int QuillfenParameters::*number;
  int default_value;  // a bool's as 0 or 1
  // An int's accepted values, both ends included, and the message for any
  // other; a bool takes every value.
  int minimum;
  int maximum;
  const char* refusal;
  // What the argument does, in a line of the command's help.
  std::string_view meaning;
};

// The settings of one call. A field left alone holds its default from the
// table.
struct QuillfenParameters {
  bool sup = default_of(&QuillfenParameters::sup);
  int radius = default_of(&QuillfenParameters::radius);
  bool gaussian = default_of(&QuillfenParameters::gaussian);
  int iterations = default_of(&QuillfenParameters::iterations);
  int threshold = default_of(&QuillfenParameters::threshold);

  static constexpr bool default_of(bool QuillfenParameters::*field);
  static constexpr int default_of(int QuillfenParameters::*field);
};

// In the order of the script function's arguments, which is also the order
// their ranges are checked in.
inline constexpr QuillfenParameter kQuillfenParameters[] = {
    {"sup", &QuillfenParameters::sup, nullptr, 0, 0, 1, nullptr,
     "chroma spread on unpacking: true copies each sample to both pixels of its pair, false interpolates"},
    {"radius", nullptr, &QuillfenParameters::radius, 1, 1, INT_MAX,
     "Quillfen: \"radius\" parameter must be greater than or equal to one.",
     "radius in pixels of the neighbourhood disc, below the frame width and height"},
    {"gaussian", &QuillfenParameters::gaussian, nullptr, 0, 0, 1, nullptr,
     "Gaussian luma affinity instead of the linear one"},
    {"iterations", nullptr, &QuillfenParameters::iterations, 0, 0, kMaxConvergencePasses,
     "Quillfen: \"iterations\" parameter must be between zero and 1000 inclusive.",
     "passes per frame; 0 repeats passes until one changes no chroma value by more than threshold"},
    {"threshold", nullptr, &QuillfenParameters::threshold, 165, 0, 255,
     "Quillfen: \"threshold\" parameter must be between zero and 255 inclusive.",
     "convergence threshold for iterations=0"},
};

constexpr bool QuillfenParameters::default_of(bool QuillfenParameters::*field) {
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    if (parameter.flag == field) return parameter.default_value != 0;
  throw "a field without its row in kQuillfenParameters";
}

constexpr int QuillfenParameters::default_of(int QuillfenParameters::*field) {
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    if (parameter.number == field) return parameter.default_value;
  throw "a field without its row in kQuillfenParameters";
}

static_assert(kMaxConvergencePasses == 1000, "the \"iterations\" message names the bound");

// Checked while building: each row sets one field, and each field has its
// row (default_of's throw stops the build otherwise).
consteval bool rows_match_fields() {
  for (const QuillfenParameter& parameter : kQuillfenParameters)
    if ((parameter.flag == nullptr) == (parameter.number == nullptr)) return false;
  [[maybe_unused]] const QuillfenParameters defaults;
  return true;
}
static_assert(rows_match_fields());

// The field `parameter` names, a bool's as 0 or 1.
constexpr int value_of(const QuillfenParameters& parameters, const QuillfenParameter& parameter) {
  return parameter.flag ? parameters.*parameter.flag : parameters.*parameter.number;
}

constexpr void set_value(QuillfenParameters& parameters, const QuillfenParameter& parameter, int value) {
  if (parameter.flag)
    parameters.*parameter.flag = value != 0;
  else
    parameters.*parameter.number = value;
}

// A host's integer argument (AviSynth+ and VapourSynth hand 64-bit ones) as
// the int the field holds, never wrapped into another value: one beyond an
// int becomes the nearest int, which is refused with the argument's own
// message just as the value itself would be. Every int row's range leaves
// out INT_MIN and INT_MAX, but for radius's upper end, which is the frame
// size (clip_refusal): a radius of INT_MAX is never below it.
constexpr int int_argument(std::int64_t value) {
  return value < INT_MIN ? INT_MIN : value > INT_MAX ? INT_MAX : static_cast<int>(value);
}

// The message of the first argument outside its range, in the table's
// order, or null when all are inside.
const char* parameter_error(const QuillfenParameters& parameters);

}  // namespace quillfen

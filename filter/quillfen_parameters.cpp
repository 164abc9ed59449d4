#include "filter/quillfen_parameters.h"

const char* parameter_error(const QuillfenParameters& parameters) {
  for (const QuillfenParameter& parameter : kQuillfenParameters) {
    if (parameter.flag) continue;
    const int value = value_of(parameters, parameter);
    if (value < parameter.minimum || value > parameter.maximum) return parameter.refusal;
  }
  return nullptr;
}

const char* frame_size_error(int width, int height, int radius) {
  if (width <= 0 || height <= 0) return nullptr;
  if (width % 2 != 0) return "Quillfen: frame width must be even.";
  return radius_size_error(width, height, radius);
}

const char* radius_size_error(int width, int height, int radius) {
  if (width <= 0 || height <= 0) return nullptr;
  if (radius > width - 1 || radius > height - 1)
    return "Quillfen: \"radius\" parameter must be less than the frame width and height.";
  return nullptr;
}

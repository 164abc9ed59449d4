#include "filter/quillfen_parameters.h"

const char* parameter_error(const QuillfenParameters& parameters) {
  if (parameters.radius < 1) return "Quillfen: \"radius\" parameter must be greater than or equal to one.";
  if (parameters.iterations < 0)
    return "Quillfen: \"iterations\" parameter must be greater than or equal to zero.";
  if (parameters.threshold < 0 || parameters.threshold > 255)
    return "Quillfen: \"threshold\" parameter must be between zero and 255 inclusive.";
  return nullptr;
}

const char* frame_size_error(int width, int height, int radius) {
  if (width <= 0 || height <= 0) return nullptr;
  if (width % 2 != 0) return "Quillfen: frame width must be even.";
  if (radius > width - 1 || radius > height - 1)
    return "Quillfen: \"radius\" parameter must be less than the frame width and height.";
  return nullptr;
}

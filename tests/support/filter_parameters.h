// The script arguments of a Quillfen call, at their defaults.
#pragma once

struct Parameters {
  bool sup = false;
  int radius = 1;
  bool gaussian = false;
  int iterations = 0;
  int threshold = 165;
};

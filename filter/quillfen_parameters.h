// The parameters of a Quillfen call, with the defaults a call gets for the
// ones it leaves out, and their checks with the words every host module
// reports them in.
#pragma once

struct QuillfenParameters {
  bool sup = false;
  int radius = 1;
  bool gaussian = false;
  int iterations = 0;
  int threshold = 165;
};

// The message of the first failing check of `radius`, `iterations` and
// `threshold`, in that order, or null when all pass.
const char* parameter_error(const QuillfenParameters& parameters);

// The message when frames of this size cannot be filtered with this radius
// (frames are handled in pixel pairs, and the mirrored border reaches at
// most one image size beyond each edge), or null. A frame without pixels
// passes.
const char* frame_size_error(int width, int height, int radius);

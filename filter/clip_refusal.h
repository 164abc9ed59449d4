// Whether a clip can be filtered with a call's settings: the one place that
// decides, in the one order every binding reports it. The clip's format
// first (the binding's verdict, since only the binding knows its host's
// formats and the words that convert them), then the arguments in the
// table's order, then the frame size, then the CPU cap.
#pragma once

#include <optional>

#include "filter/frame_filter.h"
#include "filter/quillfen_parameters.h"

namespace quillfen {

// The binding's own refusals, in its host's words: they name the clip's
// format as the host does and the call that fixes it.
struct ClipWords {
  // With the plain size messages, which name neither format nor fix; a
  // bare format refusal converts, as the command gives one.
  ClipWords(const char* format_refusal) : format(format_refusal) {}
  ClipWords(const char* format_refusal, const char* odd_width_refusal, const char* odd_height_refusal)
      : format(format_refusal), odd_width(odd_width_refusal), odd_height(odd_height_refusal) {}

  // For a clip without a format the filter takes.
  const char* format;
  // For an odd width where pixels go in pairs (YUY2, 4:2:2, 4:2:0), and an
  // odd 4:2:0 height; null for the plain messages, which name neither.
  const char* odd_width = nullptr;
  const char* odd_height = nullptr;
};

// The first refusal's message, or null. `format` is the frame format the
// binding will hand over, or nothing when the clip has none the filter
// takes, in which case `words.format` is the message. A frame without
// pixels passes the size checks.
const char* clip_refusal(const std::optional<FrameFormat>& format, const ClipWords& words,
                         const QuillfenParameters& parameters);

}  // namespace quillfen

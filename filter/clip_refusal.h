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

// The first refusal's message, or null. `format` is the frame format the
// binding will hand over, or nothing when the clip has none the filter
// takes, in which case `format_refusal` is the message (the binding's own,
// naming the clip's format and the conversion to add). A frame without
// pixels passes the size checks.
const char* clip_refusal(const std::optional<FrameFormat>& format, const char* format_refusal,
                         const QuillfenParameters& parameters);

}  // namespace quillfen

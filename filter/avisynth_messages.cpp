#include "filter/avisynth_messages.h"

#include <cstdio>

namespace quillfen {

void avisynth_odd_size_refusals(const char* name, const char* pairs, int width, int height,
                                char (&odd_width)[256], char (&odd_height)[256]) {
  std::snprintf(odd_width, sizeof odd_width,
                "Quillfen: the clip is %s of %dx%d; %s needs an even width: make it even before the clip "
                "becomes %s, e.g. add Crop(0, 0, -1, 0) or AddBorders(0, 0, 1, 0) where it is 4:4:4 or RGB.",
                name, width, height, pairs, name);
  std::snprintf(odd_height, sizeof odd_height,
                "Quillfen: the clip is %s of %dx%d; 4:2:0 needs an even height: make it even before the clip "
                "becomes %s, e.g. add Crop(0, 0, 0, -1) or AddBorders(0, 0, 0, 1) where it is 4:4:4 or RGB.",
                name, width, height, name);
}

}  // namespace quillfen

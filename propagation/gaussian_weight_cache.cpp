#include "propagation/gaussian_weight_cache.h"

namespace quillfen {

std::unique_ptr<GaussianWeightCache> gaussian_weight_memo_for(bool gaussian) {
  return gaussian ? std::make_unique<GaussianWeightCache>() : nullptr;
}

}  // namespace quillfen

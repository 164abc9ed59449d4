#include "propagation/gaussian_weight_cache.h"

GaussianWeightCache& thread_gaussian_weight_cache() {
  static thread_local GaussianWeightCache cache;
  return cache;
}

#include "plugin/vapoursynth/working_image_pool.h"

namespace quillfen {

WorkingImagePool::Lease WorkingImagePool::take() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<FrameFilter> filter = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(filter));
    }
  }
  // Made outside the lock: other requests need not wait for the allocation.
  std::unique_ptr<FrameFilter> filter;
  try {
    filter = std::make_unique<FrameFilter>(format_, parameters_, kernel_);
  } catch (const std::bad_alloc&) {
  }
  return Lease(*this, std::move(filter));
}

void WorkingImagePool::give_back(std::unique_ptr<FrameFilter> filter) {
  if (!filter) return;
  std::lock_guard<std::mutex> lock(mutex_);
  // The vector only grows when the pool does; should that fail, the filter
  // is freed instead of kept.
  try {
    idle_.push_back(std::move(filter));
  } catch (const std::bad_alloc&) {
  }
}

}  // namespace quillfen

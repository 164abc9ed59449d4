#include "plugin/vapoursynth/working_image_pool.h"

WorkingImagePool::Lease WorkingImagePool::take() noexcept {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!idle_.empty()) {
      std::unique_ptr<WorkingImages> images = std::move(idle_.back());
      idle_.pop_back();
      return Lease(*this, std::move(images));
    }
  }
  // Made outside the lock: other requests need not wait for the allocation.
  std::unique_ptr<WorkingImages> images;
  try {
    images = std::make_unique<WorkingImages>(width_, height_, scratch_bytes_, gaussian_);
  } catch (const std::bad_alloc&) {
  }
  return Lease(*this, std::move(images));
}

void WorkingImagePool::give_back(std::unique_ptr<WorkingImages> images) {
  if (!images) return;
  std::lock_guard<std::mutex> lock(mutex_);
  // The vector only grows when the pool does; should that fail, the set is
  // freed instead of kept.
  try {
    idle_.push_back(std::move(images));
  } catch (const std::bad_alloc&) {
  }
}

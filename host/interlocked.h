// Atomic reference-count helpers with the names the host interface uses.
// Every count of a clip, frame or frame buffer goes through these, so that
// frames and clips can be shared between worker threads of the frame server.
#pragma once

#include <atomic>

template <typename Count>
inline Count InterlockedIncrement(Count* count) {
  return std::atomic_ref<Count>(*count).fetch_add(1, std::memory_order_acq_rel) + 1;
}

template <typename Count>
inline Count InterlockedDecrement(Count* count) {
  return std::atomic_ref<Count>(*count).fetch_sub(1, std::memory_order_acq_rel) - 1;
}

template <typename Count>
inline Count InterlockedRead(const Count* count) {
  return std::atomic_ref<Count>(*const_cast<Count*>(count)).load(std::memory_order_acquire);
}


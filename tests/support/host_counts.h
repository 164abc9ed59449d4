// Reference counts as a host on 64-bit Linux sees them: 8 bytes each, the
// clip's just after its table of virtual functions, the frame's first. A
// host reads and writes all 8 bytes, whatever the plugin declared.
#pragma once

#include <cstdint>
#include <cstring>

#include "host/avisynth_interface.h"

namespace quillfen {

inline std::int64_t host_count_at(const void* object, std::size_t offset) {
  std::int64_t count;
  std::memcpy(&count, static_cast<const char*>(object) + offset, sizeof count);
  return count;
}

inline void host_set_count_at(void* object, std::size_t offset, std::int64_t count) {
  std::memcpy(static_cast<char*>(object) + offset, &count, sizeof count);
}

inline std::int64_t host_clip_count(const IClip* clip) { return host_count_at(clip, sizeof(void*)); }
inline std::int64_t host_frame_count(const VideoFrame* frame) { return host_count_at(frame, 0); }

inline void host_add_ref(IClip* clip) { host_set_count_at(clip, sizeof(void*), host_clip_count(clip) + 1); }

// The host destroys the clip when its 8-byte count comes back to 0.
inline void host_release(IClip* clip) {
  const std::int64_t count = host_clip_count(clip) - 1;
  host_set_count_at(clip, sizeof(void*), count);
  if (count == 0) delete clip;
}

}  // namespace quillfen

// Between the planes of one Y4M frame (Y, then U, then V, rows back to back)
// and a host frame: 4:2:2 is packed into and unpacked from YUY2, 4:2:0 maps
// plane for plane onto YV12. Both directions are exact inverses.
#pragma once

#include "host/avisynth_interface.h"
#include "y4m/y4m_header.h"

namespace quillfen::server {

// Fills `frame`, a writable host frame of the header's format and size,
// from y4m_frame_bytes(header) bytes of planes.
void y4m_planes_to_frame(const y4m::Y4mHeader& header, const BYTE* planes, const PVideoFrame& frame);

// Writes y4m_frame_bytes(header) bytes of planes from `frame`, a host frame
// of the header's format and size.
void frame_to_y4m_planes(const y4m::Y4mHeader& header, const PVideoFrame& frame, BYTE* planes);

}  // namespace quillfen::server

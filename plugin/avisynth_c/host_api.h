// The AviSynth+ entry points the module calls, taken at run time from the
// AviSynth library that loaded it: on Linux by dlsym in that library, on
// Windows by GetProcAddress in that DLL. So the module links to no AviSynth
// library, loads in any AviSynth+ with a C interface, and calls a newer
// entry point only where the host has it.
#pragma once

#include "plugin/avisynth_c/avisynth_c.h"

namespace quillfen {

struct HostApi {
  // The interface of 2.6 and every AviSynth+: the module does not load
  // without them.
  avs_add_function_func avs_add_function;
  avs_at_exit_func avs_at_exit;
  avs_check_version_func avs_check_version;
  avs_save_string_func avs_save_string;
  avs_take_clip_func avs_take_clip;
  avs_release_clip_func avs_release_clip;
  avs_release_value_func avs_release_value;
  avs_set_to_clip_func avs_set_to_clip;
  avs_get_video_info_func avs_get_video_info;
  avs_clip_get_error_func avs_clip_get_error;
  avs_new_c_filter_func avs_new_c_filter;
  avs_get_frame_func avs_get_frame;
  avs_release_video_frame_func avs_release_video_frame;
  avs_new_video_frame_a_func avs_new_video_frame_a;
  avs_get_pitch_p_func avs_get_pitch_p;
  avs_get_row_size_p_func avs_get_row_size_p;
  avs_get_height_p_func avs_get_height_p;
  avs_get_read_ptr_p_func avs_get_read_ptr_p;
  avs_get_write_ptr_p_func avs_get_write_ptr_p;
  avs_get_error_func avs_get_error;
  avs_set_global_var_func avs_set_global_var;
  // Interface 8 and later: the new frame that takes its source's frame
  // properties. Null on an older host, where a frame leaves with none.
  avs_new_video_frame_p_a_func avs_new_video_frame_p_a;
  // The library's handle, held while the table is in use.
  void* library;
};

// The table for the AviSynth library that holds `code_in_host` (an address
// inside it, such as the return address of the call into the module), or
// null when that library lacks an entry point the module needs. Allocates
// nothing it does not give back on failure; release_host_api frees it.
HostApi* load_host_api(const void* code_in_host) noexcept;
void release_host_api(HostApi* api) noexcept;

}  // namespace quillfen

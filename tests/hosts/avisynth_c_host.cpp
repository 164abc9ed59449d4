// A host program of the tests' own on AviSynth's C interface, for Linux
// (libavisynth.so) and Windows (AviSynth.dll): runs a script in AviSynth+
// and writes its clip as Y4M.
//
//   avisynth_c_host SCRIPT OUTPUT [PROPERTY...]
//
// Scripts read video with Y4MSource("file.y4m"), which this program adds:
// 8-bit 4:2:2 as YUY2, 4:2:0 as YV12. The output is written from YUY2 as
// C422 and from planar YUV 4:2:0, 4:2:2 or 4:4:4 of 8 to 16 bits as C420,
// C422 or C444 (pN above 8 bits), with the W, H, F and I tags only, so a
// clip this program wrote comes back with the same header. Y4M has no
// float: a float clip is written as its planes' float bytes under the
// header of the 8-bit clip of its layout. FloatFromBytes(clip) makes an
// 8-bit planar YUV clip float (float_from_bytes.h), for the float tests.
// Each PROPERTY named is printed as it is on the first frame, "name=value"
// (an integer) or "name=none". A failure prints its message on stderr and
// exits with 1. SizedClip(clip, width, height) declares a clip of any size,
// and AVISYNTH_C_HOST_HEADROOM limits the memory left for frames (below).
#include <avisynth_c.h>

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "y4m/y4m_error.h"
#include "y4m/y4m_header.h"
#include "tests/hosts/float_from_bytes.h"

namespace quillfen {

namespace {

namespace y4m = quillfen::y4m;

// A whole Y4M file in memory; the test clips are small.
struct Y4mClip {
  std::string bytes;
  std::vector<std::size_t> frame_starts;  // where each frame's planes begin
};

Y4mClip read_y4m(const char* path, AVS_VideoInfo& vi) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw y4m::Y4mError(std::string("Y4MSource: cannot open ") + path);
  Y4mClip clip{std::string(std::istreambuf_iterator<char>(file), {}), {}};
  std::size_t at = clip.bytes.find('\n');
  if (at == std::string::npos) throw y4m::Y4mError(std::string("Y4MSource: no header in ") + path);
  const y4m::Y4mHeader header = y4m::parse_y4m_header(std::string_view(clip.bytes).substr(0, at));
  const std::size_t frame_bytes = y4m::y4m_frame_bytes(header);
  for (++at; at < clip.bytes.size();) {
    const std::size_t line_end = clip.bytes.find('\n', at);
    if (clip.bytes.compare(at, 5, "FRAME") != 0 || line_end == std::string::npos ||
        clip.bytes.size() - (line_end + 1) < frame_bytes)
      throw y4m::Y4mError(std::string("Y4MSource: a frame of ") + path + " is cut short");
    clip.frame_starts.push_back(line_end + 1);
    at = line_end + 1 + frame_bytes;
  }
  vi = AVS_VideoInfo{};
  vi.width = header.width;
  vi.height = header.height;
  vi.fps_numerator = header.fps_numerator;
  vi.fps_denominator = header.fps_denominator;
  vi.num_frames = static_cast<int>(clip.frame_starts.size());
  vi.pixel_type = header.chroma == y4m::Y4mChroma::k422 ? AVS_CS_YUY2 : AVS_CS_YV12;
  return clip;
}

// Copies `height` rows of `row_bytes` between buffers of different pitches.
void copy_rows(std::uint8_t* to, int to_pitch, const std::uint8_t* from, int from_pitch, int row_bytes, int height) {
  for (int y = 0; y < height; ++y) std::memcpy(to + y * to_pitch, from + y * from_pitch, row_bytes);
}

AVS_VideoFrame* AVSC_CC y4m_get_frame(AVS_FilterInfo* fi, int n) {
  const Y4mClip& clip = *static_cast<const Y4mClip*>(fi->user_data);
  const AVS_VideoInfo& vi = fi->vi;
  n = n < 0 ? 0 : n >= vi.num_frames ? vi.num_frames - 1 : n;
  AVS_VideoFrame* frame = avs_new_video_frame_a(fi->env, &vi, AVS_FRAME_ALIGN);
  const auto* y = reinterpret_cast<const std::uint8_t*>(clip.bytes.data()) + clip.frame_starts[n];
  const int w = vi.width, h = vi.height;
  if (avs_is_yuy2(&vi)) {
    const std::uint8_t* u = y + w * h;
    const std::uint8_t* v = u + w / 2 * h;
    for (int row = 0; row < h; ++row) {
      std::uint8_t* out = avs_get_write_ptr_p(frame, AVS_DEFAULT_PLANE) + row * avs_get_pitch_p(frame, AVS_DEFAULT_PLANE);
      for (int k = 0; k < w / 2; ++k) {
        out[4 * k] = y[row * w + 2 * k];
        out[4 * k + 1] = u[row * (w / 2) + k];
        out[4 * k + 2] = y[row * w + 2 * k + 1];
        out[4 * k + 3] = v[row * (w / 2) + k];
      }
    }
    return frame;
  }
  const std::uint8_t* u = y + w * h;
  const std::uint8_t* v = u + w / 2 * (h / 2);
  copy_rows(avs_get_write_ptr_p(frame, AVS_PLANAR_Y), avs_get_pitch_p(frame, AVS_PLANAR_Y), y, w, w, h);
  copy_rows(avs_get_write_ptr_p(frame, AVS_PLANAR_U), avs_get_pitch_p(frame, AVS_PLANAR_U), u, w / 2, w / 2, h / 2);
  copy_rows(avs_get_write_ptr_p(frame, AVS_PLANAR_V), avs_get_pitch_p(frame, AVS_PLANAR_V), v, w / 2, w / 2, h / 2);
  return frame;
}

int AVSC_CC y4m_get_parity(AVS_FilterInfo*, int) { return 0; }
int AVSC_CC y4m_get_audio(AVS_FilterInfo*, void*, int64_t, int64_t) { return 0; }
int AVSC_CC y4m_set_cache_hints(AVS_FilterInfo*, int, int) { return 0; }
void AVSC_CC y4m_free(AVS_FilterInfo* fi) { delete static_cast<Y4mClip*>(fi->user_data); }

AVS_Value AVSC_CC create_y4m_source(AVS_ScriptEnvironment* env, AVS_Value args, void*) {
  AVS_VideoInfo vi;
  std::unique_ptr<Y4mClip> clip;
  try {
    clip = std::make_unique<Y4mClip>(read_y4m(avs_as_string(avs_array_elt(args, 0)), vi));
  } catch (const std::exception& error) {
    return avs_new_value_error(avs_save_string(env, error.what(), -1));
  }
  AVS_FilterInfo* fi;
  AVS_Clip* filter = avs_new_c_filter(env, &fi, avs_void, 0);
  fi->vi = vi;
  fi->user_data = clip.release();
  fi->get_frame = y4m_get_frame;
  fi->get_parity = y4m_get_parity;
  fi->get_audio = y4m_get_audio;
  fi->set_cache_hints = y4m_set_cache_hints;
  fi->free_filter = y4m_free;
  AVS_Value result;
  avs_set_to_clip(&result, filter);
  avs_release_clip(filter);
  return result;
}

// SizedClip(clip, width, height): the clip's format at another size, as a
// source filter of someone else's may declare one AviSynth+'s own filters
// refuse (an odd width in YUY2, say); it makes no frames.
AVS_VideoFrame* AVSC_CC sized_get_frame(AVS_FilterInfo* fi, int) {
  fi->error = "SizedClip makes no frames";
  return nullptr;
}

AVS_Value AVSC_CC create_sized_clip(AVS_ScriptEnvironment* env, AVS_Value args, void*) {
  AVS_FilterInfo* fi;
  AVS_Clip* filter = avs_new_c_filter(env, &fi, avs_array_elt(args, 0), 1);
  fi->vi.width = avs_as_int(avs_array_elt(args, 1));
  fi->vi.height = avs_as_int(avs_array_elt(args, 2));
  fi->get_frame = sized_get_frame;
  AVS_Value result;
  avs_set_to_clip(&result, filter);
  avs_release_clip(filter);
  return result;
}

// FloatFromBytes: the child's frames with every plane made float.
AVS_VideoFrame* AVSC_CC float_get_frame(AVS_FilterInfo* fi, int n) {
  AVS_VideoFrame* source = avs_get_frame(fi->child, n);
  if (!source) return nullptr;
  AVS_VideoFrame* frame = avs_new_video_frame_p_a(fi->env, &fi->vi, source, AVS_FRAME_ALIGN);
  for (const int plane : {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V})
    float_plane_from_bytes(avs_get_read_ptr_p(source, plane), avs_get_pitch_p(source, plane),
                           avs_get_write_ptr_p(frame, plane), avs_get_pitch_p(frame, plane),
                           avs_get_row_size_p(source, plane), avs_get_height_p(source, plane), plane == AVS_PLANAR_Y);
  avs_release_video_frame(source);
  return frame;
}

AVS_Value AVSC_CC create_float_from_bytes(AVS_ScriptEnvironment* env, AVS_Value args, void*) {
  AVS_FilterInfo* fi;
  AVS_Clip* filter = avs_new_c_filter(env, &fi, avs_array_elt(args, 0), 1);
  const int type = fi->vi.pixel_type;
  const int float_type = type == AVS_CS_YV12 || type == AVS_CS_I420 ? AVS_CS_YUV420PS
                         : type == AVS_CS_YV16                      ? AVS_CS_YUV422PS
                         : type == AVS_CS_YV24                      ? AVS_CS_YUV444PS
                                                                    : 0;
  AVS_Value result;
  if (!float_type) {
    result = avs_new_value_error("FloatFromBytes: YV12, YV16 or YV24 only");
  } else {
    fi->vi.pixel_type = float_type;
    fi->get_frame = float_get_frame;
    avs_set_to_clip(&result, filter);
  }
  avs_release_clip(filter);
  return result;
}

// With AVISYNTH_C_HOST_HEADROOM=MB set, the process may map only that much
// more memory once the script is built, before any frame is made: a frame
// larger than that cannot be allocated (on Linux only).
void limit_memory_from_here() {
#if !defined(_WIN32)
  const char* headroom = std::getenv("AVISYNTH_C_HOST_HEADROOM");
  if (!headroom) return;
  std::ifstream statm("/proc/self/statm");
  unsigned long pages = 0;
  statm >> pages;
  const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + std::strtoul(headroom, nullptr, 10) * (1ul << 20);
  const rlimit address_space{limit, limit};
  setrlimit(RLIMIT_AS, &address_space);
#endif
}

// The Y4M colour tag of a clip, or empty for a format Y4M is not written from.
std::string y4m_colour(const AVS_VideoInfo& vi) {
  if (avs_is_yuy2(&vi)) return "C422";
  const char* layout = avs_is_420(&vi) ? "420" : avs_is_422(&vi) ? "422" : avs_is_444(&vi) ? "444" : nullptr;
  const int bits = avs_bits_per_component(&vi);
  if (!layout || !avs_is_planar(&vi) || avs_is_yuva(&vi) || avs_is_y(&vi) || !avs_is_yuv(&vi) ||
      (bits > 16 && bits != 32))
    return "";
  return std::string("C") + layout + (bits > 8 && bits <= 16 ? "p" + std::to_string(bits) : "");
}

std::string y4m_stream_header(const AVS_VideoInfo& vi) {
  y4m::Y4mHeader header;
  header.tags = {"W" + std::to_string(vi.width), "H" + std::to_string(vi.height),
                 "F" + std::to_string(vi.fps_numerator) + ":" + std::to_string(vi.fps_denominator), "Ip",
                 y4m_colour(vi)};
  return y4m::format_y4m_header(header);
}

// The first frame's integer properties by name.
void print_properties(AVS_ScriptEnvironment* env, AVS_Clip* clip, char** names, int count) {
  AVS_VideoFrame* frame = avs_get_frame(clip, 0);
  if (!frame) return;
  const AVS_Map* properties = avs_get_frame_props_ro(env, frame);
  for (int i = 0; i < count; ++i) {
    int error = 0;
    const int64_t value = avs_prop_get_int(env, properties, names[i], 0, &error);
    std::printf("%s=%s\n", names[i], error ? "none" : std::to_string(value).c_str());
  }
  avs_release_video_frame(frame);
}

void write_frame(const AVS_VideoInfo& vi, const AVS_VideoFrame* frame, std::FILE* out) {
  std::fputs("FRAME\n", out);
  if (avs_is_yuy2(&vi)) {
    const int w = vi.width, h = vi.height;
    std::vector<std::uint8_t> planes(2 * static_cast<std::size_t>(w) * h);
    std::uint8_t* y = planes.data();
    std::uint8_t* u = y + w * h;
    std::uint8_t* v = u + w / 2 * h;
    for (int row = 0; row < h; ++row) {
      const std::uint8_t* in = avs_get_read_ptr_p(frame, AVS_DEFAULT_PLANE) + row * avs_get_pitch_p(frame, AVS_DEFAULT_PLANE);
      for (int k = 0; k < w / 2; ++k) {
        y[row * w + 2 * k] = in[4 * k];
        u[row * (w / 2) + k] = in[4 * k + 1];
        y[row * w + 2 * k + 1] = in[4 * k + 2];
        v[row * (w / 2) + k] = in[4 * k + 3];
      }
    }
    std::fwrite(planes.data(), 1, planes.size(), out);
    return;
  }
  for (const int plane : {AVS_PLANAR_Y, AVS_PLANAR_U, AVS_PLANAR_V})
    for (int row = 0; row < avs_get_height_p(frame, plane); ++row)
      std::fwrite(avs_get_read_ptr_p(frame, plane) + row * avs_get_pitch_p(frame, plane), 1,
                  avs_get_row_size_p(frame, plane), out);
}

int fail(const char* message) {
  std::fprintf(stderr, "%s\n", message);
  return 1;
}

int run(AVS_ScriptEnvironment* env, const char* script, const char* output, char** properties, int property_count) {
  avs_add_function(env, "Y4MSource", "s", create_y4m_source, nullptr);
  avs_add_function(env, "SizedClip", "cii", create_sized_clip, nullptr);
  avs_add_function(env, "FloatFromBytes", "c", create_float_from_bytes, nullptr);
  AVS_Value result = avs_invoke(env, "Import", avs_new_value_string(script), nullptr);
  if (avs_is_error(result)) return fail(avs_as_error(result));
  if (!avs_is_clip(result)) {
    avs_release_value(result);
    return fail("the script gives no clip");
  }
  AVS_Clip* clip = avs_take_clip(result, env);
  avs_release_value(result);
  const AVS_VideoInfo vi = *avs_get_video_info(clip);
  int status = 0;
  if (y4m_colour(vi).empty()) {
    status = fail("the script's clip is neither YUY2 nor planar YUV of 8 to 16 bits or float");
  } else if (std::FILE* out = std::fopen(output, "wb")) {
    std::fputs(y4m_stream_header(vi).c_str(), out);
    limit_memory_from_here();
    for (int n = 0; n < vi.num_frames && status == 0; ++n) {
      AVS_VideoFrame* frame = avs_get_frame(clip, n);
      if (!frame) {
        status = fail(avs_clip_get_error(clip));
        break;
      }
      write_frame(vi, frame, out);
      avs_release_video_frame(frame);
    }
    if (std::fclose(out) != 0) status = fail("the output cannot be written");
    if (status == 0) print_properties(env, clip, properties, property_count);
  } else {
    status = fail("the output cannot be opened");
  }
  avs_release_clip(clip);
  return status;
}

}  // namespace

int run_program(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: avisynth_c_host SCRIPT OUTPUT [PROPERTY...]\n");
    return 2;
  }
  AVS_ScriptEnvironment* env = avs_create_script_environment(AVISYNTH_INTERFACE_VERSION);
  if (!env) return fail("AviSynth.dll gave no script environment");
  const int status = run(env, argv[1], argv[2], argv + 3, argc - 3);
  avs_delete_script_environment(env);
  return status;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }

// A VapourSynth host of the tests' own: creates a core, serves a clip from a
// Y4M file (or a blank clip of any format) through a source filter of its
// own, loads the Quillfen module with std.LoadPlugin, calls
// quillfen.Quillfen and requests every frame at once, then writes the
// frames as Y4M with the input's header.
//
//   quillfen_vapoursynth_host MODULE SOURCE OUTPUT [--threads N] [name=value ...]
//
// SOURCE is a Y4M file, float:FILE (an 8-bit Y4M file made float as
// float_from_bytes.h says; the output is then the float planes under the
// input's header) or blank:FORMAT:WIDTHxHEIGHT (FORMAT one of the names
// below, or "variable"). OUTPUT may be "-" for no output. Values are
// integers, or true and false. Exit status: 0 success; 1 usage or file
// error; 2 the call or a frame failed (the host's message on stderr); 3 the
// core logged a warning or worse; 4 a frame lost its properties or its luma
// plane was copied instead of shared.
#include <VapourSynth4.h>

#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "system/files.h"
#include "y4m/y4m_header.h"
#include "y4m/y4m_reader.h"
#include "tests/hosts/float_from_bytes.h"

namespace quillfen {

namespace {

using quillfen::y4m::Y4mChroma;
using quillfen::y4m::Y4mHeader;

constexpr const char kFrameProperty[] = "QuillfenHostFrame";

struct NamedFormat {
  const char* name;
  int color_family, sample_type, bits, subsampling_w, subsampling_h;
};

constexpr NamedFormat kFormats[] = {
    {"YUV422P8", cfYUV, stInteger, 8, 1, 0},    {"YUV420P8", cfYUV, stInteger, 8, 1, 1},
    {"YUV444P8", cfYUV, stInteger, 8, 0, 0},    {"YUV411P8", cfYUV, stInteger, 8, 2, 0},
    {"YUV440P8", cfYUV, stInteger, 8, 0, 1},    {"YUV420P9", cfYUV, stInteger, 9, 1, 1},
    {"YUV420P10", cfYUV, stInteger, 10, 1, 1},  {"YUV422P11", cfYUV, stInteger, 11, 1, 0},
    {"YUV444P13", cfYUV, stInteger, 13, 0, 0},  {"YUV420P14", cfYUV, stInteger, 14, 1, 1},
    {"YUV422P16", cfYUV, stInteger, 16, 1, 0},  {"YUV444P16", cfYUV, stInteger, 16, 0, 0},
    {"YUV420PS", cfYUV, stFloat, 32, 1, 1},     {"YUV444PH", cfYUV, stFloat, 16, 0, 0},
    {"RGBS", cfRGB, stFloat, 32, 0, 0},
    {"GRAY8", cfGray, stInteger, 8, 0, 0},      {"GRAY16", cfGray, stInteger, 16, 0, 0},
    {"RGB24", cfRGB, stInteger, 8, 0, 0},       {"RGB48", cfRGB, stInteger, 16, 0, 0},
};

struct Failure {
  int status;
  std::string message;
};

// Messages the core logs at warning level or above, "Core freed but N
// filter instance(s) still exist" among them.
struct CoreLog {
  std::mutex mutex;
  std::vector<std::string> warnings;
};

void VS_CC log_message(int type, const char* message, void* user_data) {
  if (type < mtWarning) return;
  auto* log = static_cast<CoreLog*>(user_data);
  std::lock_guard<std::mutex> lock(log->mutex);
  log->warnings.emplace_back(message);
}

// The source: every frame made once, up front, and handed out by reference,
// so that a filter sharing a plane of it shows by the plane's address.
struct Source {
  VSVideoInfo vi{};
  std::vector<const VSFrame*> frames;
};

const VSFrame* VS_CC source_frame(int n, int activation_reason, void* instance_data, void**, VSFrameContext*,
                                  VSCore*, const VSAPI* vsapi) {
  if (activation_reason != arInitial) return nullptr;
  return vsapi->addFrameRef(static_cast<Source*>(instance_data)->frames[n]);
}

void VS_CC free_source(void* instance_data, VSCore*, const VSAPI* vsapi) {
  auto* source = static_cast<Source*>(instance_data);
  for (const VSFrame* frame : source->frames) vsapi->freeFrame(frame);
  delete source;
}

VSFrame* new_frame(const VSVideoInfo& vi, int n, VSCore* core, const VSAPI* vsapi) {
  VSFrame* frame = vsapi->newVideoFrame(&vi.format, vi.width, vi.height, nullptr, core);
  vsapi->mapSetInt(vsapi->getFramePropertiesRW(frame), kFrameProperty, n, maReplace);
  return frame;
}

// Bytes of a row of `plane`: Y4M's samples of more than 8 bits are two
// bytes, little-endian, as VapourSynth's are on the machines it runs on.
int row_bytes(const VSFrame* frame, int plane, const VSAPI* vsapi) {
  return vsapi->getFrameWidth(frame, plane) * vsapi->getVideoFrameFormat(frame)->bytesPerSample;
}

// Fills the planes of `frame` from Y4M planes (Y, U, V, rows back to back).
void fill_planes(VSFrame* frame, const std::vector<std::uint8_t>& planes, const VSAPI* vsapi) {
  const std::uint8_t* in = planes.data();
  for (int plane = 0; plane < 3; ++plane) {
    const int bytes = row_bytes(frame, plane, vsapi);
    const int height = vsapi->getFrameHeight(frame, plane);
    for (int y = 0; y < height; ++y, in += bytes)
      std::memcpy(vsapi->getWritePtr(frame, plane) + y * vsapi->getStride(frame, plane), in, bytes);
  }
}

// The same from the planes of an 8-bit frame, made float.
void fill_float_planes(VSFrame* frame, const std::vector<std::uint8_t>& planes, const VSAPI* vsapi) {
  const std::uint8_t* in = planes.data();
  for (int plane = 0; plane < 3; ++plane) {
    const int width = vsapi->getFrameWidth(frame, plane), height = vsapi->getFrameHeight(frame, plane);
    float_plane_from_bytes(in, width, vsapi->getWritePtr(frame, plane), static_cast<int>(vsapi->getStride(frame, plane)),
                           width, height, plane == 0);
    in += static_cast<std::size_t>(width) * height;
  }
}

VSNode* y4m_source(const std::string& path, Y4mHeader& header, VSCore* core, const VSAPI* vsapi, bool as_float) {
  const int fd = quillfen::system::open_for_reading(path);
  if (fd < 0) throw Failure{1, "cannot open " + path};
  auto* source = new Source;
  try {
    quillfen::y4m::Y4mReader reader(fd);
    header = reader.header();
    const int subsampling_w = header.chroma == Y4mChroma::k444 ? 0 : 1;
    const int subsampling_h = header.chroma == Y4mChroma::k420 ? 1 : 0;
    if (as_float && header.bits != 8) throw std::runtime_error("float: takes 8-bit Y4M only");
    vsapi->queryVideoFormat(&source->vi.format, cfYUV, as_float ? stFloat : stInteger, as_float ? 32 : header.bits,
                            subsampling_w, subsampling_h, core);
    source->vi.width = header.width;
    source->vi.height = header.height;
    source->vi.fpsNum = header.fps_numerator;
    source->vi.fpsDen = header.fps_denominator;
    std::vector<std::uint8_t> planes(reader.frame_bytes());
    while (reader.read_frame(planes.data())) {
      VSFrame* frame = new_frame(source->vi, static_cast<int>(source->frames.size()), core, vsapi);
      if (as_float)
        fill_float_planes(frame, planes, vsapi);
      else
        fill_planes(frame, planes, vsapi);
      source->frames.push_back(frame);
    }
  } catch (const std::exception& error) {
    quillfen::system::close_file(fd);
    free_source(source, core, vsapi);
    throw Failure{1, error.what()};
  }
  quillfen::system::close_file(fd);
  source->vi.numFrames = static_cast<int>(source->frames.size());
  return vsapi->createVideoFilter2("QuillfenHostSource", &source->vi, source_frame, free_source, fmParallel, nullptr,
                                   0, source, core);
}

// blank:FORMAT:WIDTHxHEIGHT, frames of zeros; "variable" leaves the format
// open and a size of 0x0 leaves the size open.
VSNode* blank_source(const std::string& description, VSCore* core, const VSAPI* vsapi) {
  const std::size_t colon = description.find(':', 6);
  const std::size_t x = description.find('x', colon);
  if (colon == std::string::npos || x == std::string::npos) throw Failure{1, "bad source " + description};
  const std::string name = description.substr(6, colon - 6);
  auto* source = new Source;
  source->vi.width = std::stoi(description.substr(colon + 1, x - colon - 1));
  source->vi.height = std::stoi(description.substr(x + 1));
  source->vi.fpsNum = 25;
  source->vi.fpsDen = 1;
  source->vi.numFrames = 2;
  bool known = name == "variable";
  for (const NamedFormat& f : kFormats)
    if (name == f.name) {
      known = vsapi->queryVideoFormat(&source->vi.format, f.color_family, f.sample_type, f.bits, f.subsampling_w,
                                      f.subsampling_h, core);
    }
  if (!known) {
    delete source;
    throw Failure{1, "unknown format " + name};
  }
  if (source->vi.format.colorFamily != cfUndefined && source->vi.width > 0)
    for (int n = 0; n < source->vi.numFrames; ++n) {
      VSFrame* frame = new_frame(source->vi, n, core, vsapi);
      for (int plane = 0; plane < source->vi.format.numPlanes; ++plane)
        std::memset(vsapi->getWritePtr(frame, plane), 0,
                    vsapi->getStride(frame, plane) * vsapi->getFrameHeight(frame, plane));
      source->frames.push_back(frame);
    }
  return vsapi->createVideoFilter2("QuillfenHostBlank", &source->vi, source_frame, free_source, fmParallel, nullptr,
                                   0, source, core);
}

// Takes `map`; throws its error, if it has one.
void check_map(VSMap* map, const VSAPI* vsapi) {
  if (const char* error = vsapi->mapGetError(map)) {
    Failure failure{2, error};
    vsapi->freeMap(map);
    throw failure;
  }
}

void load_module(const std::string& path, VSCore* core, const VSAPI* vsapi) {
  VSMap* arguments = vsapi->createMap();
  vsapi->mapSetData(arguments, "path", path.c_str(), -1, dtUtf8, maReplace);
  VSMap* result = vsapi->invoke(vsapi->getPluginByID("com.vapoursynth.std", core), "LoadPlugin", arguments);
  vsapi->freeMap(arguments);
  check_map(result, vsapi);
  vsapi->freeMap(result);
}

// Takes `source`; returns the filtered node.
VSNode* call_quillfen(VSNode* source, const std::vector<std::string>& settings, VSCore* core, const VSAPI* vsapi) {
  VSMap* arguments = vsapi->createMap();
  vsapi->mapConsumeNode(arguments, "clip", source, maReplace);
  for (const std::string& setting : settings) {
    const std::size_t equals = setting.find('=');
    const std::string name = setting.substr(0, equals);
    const std::string text = equals == std::string::npos ? "" : setting.substr(equals + 1);
    const long long value = text == "true" ? 1 : text == "false" ? 0 : std::stoll(text);
    vsapi->mapSetInt(arguments, name.c_str(), value, maReplace);
  }
  VSPlugin* plugin = vsapi->getPluginByNamespace("quillfen", core);
  if (!plugin) {
    vsapi->freeMap(arguments);
    throw Failure{2, "the module registered no quillfen namespace"};
  }
  VSMap* result = vsapi->invoke(plugin, "Quillfen", arguments);
  vsapi->freeMap(arguments);
  check_map(result, vsapi);
  VSNode* filtered = vsapi->mapGetNode(result, "clip", 0, nullptr);
  vsapi->freeMap(result);
  return filtered;
}

// Every frame of `node`, all requested at once.
struct Frames {
  std::mutex mutex;
  std::condition_variable done;
  int pending = 0;
  std::vector<const VSFrame*> frames;
  std::string error;
};

void VS_CC frame_done(void* user_data, const VSFrame* frame, int n, VSNode*, const char* error) {
  auto* frames = static_cast<Frames*>(user_data);
  std::lock_guard<std::mutex> lock(frames->mutex);
  frames->frames[n] = frame;
  if (error && frames->error.empty()) frames->error = error;
  if (--frames->pending == 0) frames->done.notify_one();
}

void request_all(VSNode* node, Frames& frames, const VSAPI* vsapi) {
  const int count = vsapi->getVideoInfo(node)->numFrames;
  frames.frames.assign(count, nullptr);
  frames.pending = count;
  for (int n = 0; n < count; ++n) vsapi->getFrameAsync(n, node, frame_done, &frames);
  std::unique_lock<std::mutex> lock(frames.mutex);
  frames.done.wait(lock, [&] { return frames.pending == 0; });
}

// A frame must carry its source frame's properties and share its luma plane.
void check_frame(const VSFrame* frame, const VSFrame* source, int n, const VSAPI* vsapi) {
  int error = 0;
  if (vsapi->mapGetInt(vsapi->getFramePropertiesRO(frame), kFrameProperty, 0, &error) != n || error)
    throw Failure{4, "frame " + std::to_string(n) + " lost its properties"};
  if (vsapi->getReadPtr(frame, 0) != vsapi->getReadPtr(source, 0))
    throw Failure{4, "frame " + std::to_string(n) + " does not share its source's luma plane"};
}

void write_y4m(const std::string& path, const Y4mHeader& header, const std::vector<const VSFrame*>& frames,
               const VSAPI* vsapi) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) throw Failure{1, "cannot write " + path};
  const std::string line = quillfen::y4m::format_y4m_header(header);
  std::fwrite(line.data(), 1, line.size(), file);
  for (const VSFrame* frame : frames) {
    std::fputs("FRAME\n", file);
    for (int plane = 0; plane < 3; ++plane)
      for (int y = 0; y < vsapi->getFrameHeight(frame, plane); ++y)
        std::fwrite(vsapi->getReadPtr(frame, plane) + y * vsapi->getStride(frame, plane), 1,
                    row_bytes(frame, plane, vsapi), file);
  }
  if (std::fclose(file) != 0) throw Failure{1, "cannot write " + path};
}

struct Options {
  std::string module, source, output;
  int threads = 0;
  std::vector<std::string> settings;
};

Options parse_options(int argc, char** argv) {
  if (argc < 4) throw Failure{1, "usage: quillfen_vapoursynth_host MODULE SOURCE OUTPUT [--threads N] [name=value ...]"};
  Options options{argv[1], argv[2], argv[3], 0, {}};
  for (int i = 4; i < argc; ++i) {
    if (std::string(argv[i]) == "--threads" && i + 1 < argc)
      options.threads = std::stoi(argv[++i]);
    else
      options.settings.emplace_back(argv[i]);
  }
  return options;
}

// Everything the run made is freed before the core, on every path, so that
// the core's own count of filter instances judges the module.
int run(const Options& options, VSCore* core, const VSAPI* vsapi) {
  VSNode* source = nullptr;
  VSNode* filtered = nullptr;
  Frames frames;
  Y4mHeader header;
  int status = 0;
  try {
    if (options.threads > 0) vsapi->setThreadCount(options.threads, core);
    load_module(options.module, core, vsapi);
    const bool as_float = options.source.starts_with("float:");
    source = options.source.starts_with("blank:")
                 ? blank_source(options.source, core, vsapi)
                 : y4m_source(options.source.substr(as_float ? 6 : 0), header, core, vsapi, as_float);
    filtered = call_quillfen(vsapi->addNodeRef(source), options.settings, core, vsapi);
    request_all(filtered, frames, vsapi);
    if (!frames.error.empty()) throw Failure{2, frames.error};
    for (std::size_t n = 0; n < frames.frames.size(); ++n) {
      char error[256] = "";
      const VSFrame* source_frame = vsapi->getFrame(static_cast<int>(n), source, error, sizeof error);
      try {
        check_frame(frames.frames[n], source_frame, static_cast<int>(n), vsapi);
      } catch (...) {
        vsapi->freeFrame(source_frame);
        throw;
      }
      vsapi->freeFrame(source_frame);
    }
    if (options.output != "-") write_y4m(options.output, header, frames.frames, vsapi);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "%s\n", failure.message.c_str());
    status = failure.status;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    status = 1;
  }
  for (const VSFrame* frame : frames.frames) vsapi->freeFrame(frame);
  vsapi->freeNode(filtered);
  vsapi->freeNode(source);
  return status;
}

}  // namespace

int run_program(int argc, char** argv) {
  Options options;
  try {
    options = parse_options(argc, argv);
  } catch (const Failure& failure) {
    std::fprintf(stderr, "%s\n", failure.message.c_str());
    return failure.status;
  }
  const VSAPI* vsapi = getVapourSynthAPI(VAPOURSYNTH_API_VERSION);
  if (!vsapi) {
    std::fprintf(stderr, "this VapourSynth does not offer API %d\n", VAPOURSYNTH_API_MAJOR);
    return 1;
  }
  CoreLog log;
  VSCore* core = vsapi->createCore(ccfDisableAutoLoading);
  vsapi->addLogHandler(log_message, nullptr, &log, core);
  int status = run(options, core, vsapi);
  vsapi->freeCore(core);
  for (const std::string& warning : log.warnings) std::fprintf(stderr, "core: %s\n", warning.c_str());
  if (status == 0 && !log.warnings.empty()) status = 3;
  return status;
}

}  // namespace quillfen

int main(int argc, char** argv) { return quillfen::run_program(argc, argv); }

// The frame server's plugin interface, version 2, declared with the binary
// layout of the published AviSynth 2.5 interface: the same classes, the same
// virtual slots in the same order, the same data members, 8-byte packing.
// A module built against these declarations can be loaded by either host.
#pragma once

#include <cstdint>
#include <cstring>

#include "host/interlocked.h"

#if defined(_WIN32) && !defined(_WIN64)
#define AVS_STDCALL __stdcall
#define AVS_CDECL __cdecl
#else
#define AVS_STDCALL
#define AVS_CDECL
#endif

#pragma pack(push, 8)

enum { AVISYNTH_INTERFACE_VERSION = 2 };
enum { FRAME_ALIGN = 16 };

typedef unsigned char BYTE;
typedef std::int64_t avs_int64;

class IClip;
class IScriptEnvironment;
class AVSValue;

struct VideoInfo {
  int width, height;
  unsigned fps_numerator, fps_denominator;
  int num_frames;

  enum {
    CS_BGR = 1 << 28,
    CS_YUV = 1 << 29,
    CS_INTERLEAVED = 1 << 30,
    CS_PLANAR = 1 << 31,
  };
  enum {
    CS_UNKNOWN = 0,
    CS_BGR24 = 1 | CS_BGR | CS_INTERLEAVED,
    CS_BGR32 = 2 | CS_BGR | CS_INTERLEAVED,
    CS_YUY2 = 4 | CS_YUV | CS_INTERLEAVED,
    CS_YV12 = 8 | CS_YUV | CS_PLANAR,
    CS_I420 = 16 | CS_YUV | CS_PLANAR,
  };
  int pixel_type;

  int audio_samples_per_second;
  int sample_type;
  avs_int64 num_audio_samples;
  int nchannels;

  enum { IT_BFF = 1, IT_TFF = 2, IT_FIELDBASED = 4 };
  int image_type;

  bool HasVideo() const { return width != 0; }
  bool IsColorSpace(int c_space) const { return (pixel_type & c_space) == c_space; }
  bool IsYUY2() const { return IsColorSpace(CS_YUY2); }
  bool IsYV12() const { return IsColorSpace(CS_YV12) || IsColorSpace(CS_I420); }
  bool IsPlanar() const { return (pixel_type & CS_PLANAR) != 0; }
  bool IsFieldBased() const { return (image_type & IT_FIELDBASED) != 0; }
  bool IsBFF() const { return (image_type & IT_BFF) != 0; }
  bool IsTFF() const { return (image_type & IT_TFF) != 0; }
};

enum {
  SAMPLE_INT8 = 1 << 0,
  SAMPLE_INT16 = 1 << 1,
  SAMPLE_INT24 = 1 << 2,
  SAMPLE_INT32 = 1 << 3,
  SAMPLE_FLOAT = 1 << 4,
};

enum { PLANAR_Y = 1 << 0, PLANAR_U = 1 << 1, PLANAR_V = 1 << 2 };

// The memory of one frame. The host owns and recycles it; a buffer whose
// count has fallen to zero may be handed out again.
class VideoFrameBuffer {
  BYTE* const data;
  const int data_size;
  long sequence_number;
  long refcount;

  friend class VideoFrame;

 public:
  VideoFrameBuffer(BYTE* data_, int data_size_)
      : data(data_), data_size(data_size_), sequence_number(0), refcount(0) {}

  const BYTE* GetReadPtr() const { return data; }
  BYTE* GetWritePtr() {
    ++sequence_number;
    return data;
  }
  int GetDataSize() const { return data_size; }
  long GetSequenceNumber() const { return sequence_number; }
  long GetRefcount() const { return InterlockedRead(&refcount); }
  void AddRef() { InterlockedIncrement(&refcount); }
};

// A view of a frame buffer: one or three planes at offsets into it.
class VideoFrame {
  // Every count is a long: the published interface counts with the Windows
  // long atomics, 4 bytes there as int is, and hosts on 64-bit Linux count
  // all 8 bytes of it.
  long refcount;
  VideoFrameBuffer* const vfb;
  const int offset, pitch, row_size, height, offsetU, offsetV, pitchUV;

  friend class PVideoFrame;

  void AddRef() { InterlockedIncrement(&refcount); }
  void Release() {
    // The buffer loses this frame's hold when the frame's last reference goes.
    if (InterlockedDecrement(&refcount) == 0) InterlockedDecrement(&vfb->refcount);
  }

 public:
  // A new frame holds its buffer until its own last reference goes; a host
  // that hands out a released frame again calls AddRef on its buffer first.
  // Interleaved frame:
  VideoFrame(VideoFrameBuffer* vfb_, int offset_, int pitch_, int row_size_, int height_)
      : refcount(0), vfb(vfb_), offset(offset_), pitch(pitch_), row_size(row_size_),
        height(height_), offsetU(offset_), offsetV(offset_), pitchUV(0) {
    vfb->AddRef();
  }
  // Planar frame.
  VideoFrame(VideoFrameBuffer* vfb_, int offset_, int pitch_, int row_size_, int height_,
             int offsetU_, int offsetV_, int pitchUV_)
      : refcount(0), vfb(vfb_), offset(offset_), pitch(pitch_), row_size(row_size_),
        height(height_), offsetU(offsetU_), offsetV(offsetV_), pitchUV(pitchUV_) {
    vfb->AddRef();
  }

  int GetPitch() const { return pitch; }
  int GetPitch(int plane) const {
    return (plane == PLANAR_U || plane == PLANAR_V) ? pitchUV : pitch;
  }
  int GetRowSize() const { return row_size; }
  int GetRowSize(int plane) const {
    return (plane == PLANAR_U || plane == PLANAR_V) ? row_size >> 1 : row_size;
  }
  int GetHeight() const { return height; }
  int GetHeight(int plane) const {
    return (plane == PLANAR_U || plane == PLANAR_V) ? height >> 1 : height;
  }
  int GetOffset(int plane = PLANAR_Y) const {
    if (plane == PLANAR_U) return offsetU;
    if (plane == PLANAR_V) return offsetV;
    return offset;
  }

  VideoFrameBuffer* GetFrameBuffer() const { return vfb; }
  long GetRefcount() const { return InterlockedRead(&refcount); }

  const BYTE* GetReadPtr() const { return vfb->GetReadPtr() + offset; }
  const BYTE* GetReadPtr(int plane) const { return vfb->GetReadPtr() + GetOffset(plane); }

  bool IsWritable() const { return GetRefcount() == 1 && vfb->GetRefcount() == 1; }
  BYTE* GetWritePtr() const { return IsWritable() ? vfb->GetWritePtr() + offset : nullptr; }
  BYTE* GetWritePtr(int plane) const {
    return IsWritable() ? vfb->GetWritePtr() + GetOffset(plane) : nullptr;
  }
};

// Counted reference to a frame.
class PVideoFrame {
  VideoFrame* p;

  void Init(VideoFrame* x) {
    p = x;
    if (p) p->AddRef();
  }
  void Set(VideoFrame* x) {
    if (x) x->AddRef();
    if (p) p->Release();
    p = x;
  }

 public:
  PVideoFrame() : p(nullptr) {}
  PVideoFrame(const PVideoFrame& x) { Init(x.p); }
  PVideoFrame(VideoFrame* x) { Init(x); }
  PVideoFrame& operator=(VideoFrame* x) {
    Set(x);
    return *this;
  }
  PVideoFrame& operator=(const PVideoFrame& x) {
    Set(x.p);
    return *this;
  }
  ~PVideoFrame() {
    if (p) p->Release();
  }

  VideoFrame* operator->() const { return p; }
  VideoFrame* get() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

enum PlanarChromaAlignmentMode {
  PlanarChromaAlignmentOff,
  PlanarChromaAlignmentOn,
  PlanarChromaAlignmentTest,
};

// Counted reference to a clip.
class PClip {
  IClip* p;

  void Init(IClip* x);
  void Set(IClip* x);

 public:
  PClip() : p(nullptr) {}
  PClip(const PClip& x) { Init(x.p); }
  PClip(IClip* x) { Init(x); }
  PClip& operator=(IClip* x) {
    Set(x);
    return *this;
  }
  PClip& operator=(const PClip& x) {
    Set(x.p);
    return *this;
  }
  ~PClip();

  IClip* operator->() const { return p; }
  IClip* get() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

class IClip {
  long refcnt;  // a long for the same reason as the frame's count

  friend class PClip;
  friend class AVSValue;

  void AddRef() { InterlockedIncrement(&refcnt); }
  void Release() {
    if (InterlockedDecrement(&refcnt) == 0) delete this;
  }

 public:
  IClip() : refcnt(0) {}
  IClip(const IClip&) = delete;
  IClip& operator=(const IClip&) = delete;

  virtual int AVS_STDCALL GetVersion() { return AVISYNTH_INTERFACE_VERSION; }
  virtual PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) = 0;
  virtual bool AVS_STDCALL GetParity(int n) = 0;
  virtual void AVS_STDCALL GetAudio(void* buf, avs_int64 start, avs_int64 count,
                                    IScriptEnvironment* env) = 0;
  virtual void AVS_STDCALL SetCacheHints(int cachehints, int frame_range) = 0;
  virtual const VideoInfo& AVS_STDCALL GetVideoInfo() = 0;
  virtual AVS_STDCALL ~IClip() {}
};

inline void PClip::Init(IClip* x) {
  p = x;
  if (p) p->AddRef();
}
inline void PClip::Set(IClip* x) {
  if (x) x->AddRef();
  if (p) p->Release();
  p = x;
}
inline PClip::~PClip() {
  if (p) p->Release();
}

// A script value: void, clip, bool, int, float, string or a borrowed array.
// A clip value holds a counted reference; an array does not own its elements.
class AVSValue {
  short type;
  short array_size;
  union {
    IClip* clip;
    bool boolean;
    int integer;
    float floating_pt;
    const char* string;
    const AVSValue* array;
  };

  void Assign(const AVSValue& src, bool init) {
    if (src.IsClip() && src.clip) src.clip->AddRef();
    if (!init && IsClip() && clip) clip->Release();
    type = src.type;
    array_size = src.array_size;
    std::memcpy(static_cast<void*>(&clip), static_cast<const void*>(&src.clip), sizeof(clip));
  }

 public:
  AVSValue() : type('v'), array_size(0), clip(nullptr) {}
  AVSValue(IClip* c) : type('c'), array_size(0), clip(c) {
    if (c) c->AddRef();
  }
  AVSValue(const PClip& c) : AVSValue(c.get()) {}
  AVSValue(bool b) : type('b'), array_size(0), clip(nullptr) { boolean = b; }
  AVSValue(int i) : type('i'), array_size(0), clip(nullptr) { integer = i; }
  AVSValue(float f) : type('f'), array_size(0), clip(nullptr) { floating_pt = f; }
  AVSValue(double f) : type('f'), array_size(0), clip(nullptr) {
    floating_pt = static_cast<float>(f);
  }
  AVSValue(const char* s) : type('s'), array_size(0), clip(nullptr) { string = s; }
  AVSValue(const AVSValue* a, int size) : type('a'), array_size(static_cast<short>(size)), clip(nullptr) {
    array = a;
  }
  AVSValue(const AVSValue& v) { Assign(v, true); }
  AVSValue& operator=(const AVSValue& v) {
    if (this != &v) Assign(v, false);
    return *this;
  }
  ~AVSValue() {
    if (IsClip() && clip) clip->Release();
  }

  char Kind() const { return static_cast<char>(type); }
  bool Defined() const { return type != 'v'; }
  bool IsClip() const { return type == 'c'; }
  bool IsBool() const { return type == 'b'; }
  bool IsInt() const { return type == 'i'; }
  bool IsFloat() const { return type == 'f' || type == 'i'; }
  bool IsString() const { return type == 's'; }
  bool IsArray() const { return type == 'a'; }

  PClip AsClip() const { return IsClip() ? clip : nullptr; }
  bool AsBool(bool def) const { return IsBool() ? boolean : def; }
  int AsInt(int def) const { return IsInt() ? integer : def; }
  float AsFloat(float def) const {
    return IsInt() ? static_cast<float>(integer) : type == 'f' ? floating_pt : def;
  }
  const char* AsString(const char* def) const { return IsString() ? string : def; }

  int ArraySize() const { return IsArray() ? array_size : 1; }
  const AVSValue& operator[](int index) const {
    return (IsArray() && index >= 0 && index < array_size) ? array[index] : *this;
  }
};

// Raised by IScriptEnvironment::ThrowError; holds the complete message.
class AvisynthError {
 public:
  const char* const msg;
  explicit AvisynthError(const char* msg_) : msg(msg_) {}
};

class IScriptEnvironment {
 public:
  class NotFound {};

  typedef AVSValue(AVS_CDECL* ApplyFunc)(AVSValue args, void* user_data, IScriptEnvironment* env);
  typedef void(AVS_CDECL* ShutdownFunc)(void* user_data, IScriptEnvironment* env);

  virtual AVS_STDCALL ~IScriptEnvironment() {}
  virtual long AVS_STDCALL GetCPUFlags() = 0;
  virtual char* AVS_STDCALL SaveString(const char* s, int length = -1) = 0;
  virtual char* AVS_STDCALL Sprintf(const char* fmt, ...) = 0;
  virtual char* AVS_STDCALL VSprintf(const char* fmt, void* val) = 0;
  [[noreturn]] virtual void AVS_STDCALL ThrowError(const char* fmt, ...) = 0;
  virtual void AVS_STDCALL AddFunction(const char* name, const char* params, ApplyFunc apply,
                                       void* user_data) = 0;
  virtual bool AVS_STDCALL FunctionExists(const char* name) = 0;
  virtual AVSValue AVS_STDCALL Invoke(const char* name, const AVSValue args,
                                      const char** arg_names = nullptr) = 0;
  virtual AVSValue AVS_STDCALL GetVar(const char* name) = 0;
  virtual bool AVS_STDCALL SetVar(const char* name, const AVSValue& val) = 0;
  virtual bool AVS_STDCALL SetGlobalVar(const char* name, const AVSValue& val) = 0;
  virtual void AVS_STDCALL PushContext(int level = 0) = 0;
  virtual void AVS_STDCALL PopContext() = 0;
  virtual PVideoFrame AVS_STDCALL NewVideoFrame(const VideoInfo& vi, int align = FRAME_ALIGN) = 0;
  virtual bool AVS_STDCALL MakeWritable(PVideoFrame* pvf) = 0;
  virtual void AVS_STDCALL BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch,
                                  int row_size, int height) = 0;
  virtual void AVS_STDCALL AtExit(ShutdownFunc function, void* user_data) = 0;
  virtual void AVS_STDCALL CheckVersion(int version = AVISYNTH_INTERFACE_VERSION) = 0;
  virtual PVideoFrame AVS_STDCALL Subframe(PVideoFrame src, int rel_offset, int new_pitch,
                                           int new_row_size, int new_height) = 0;
  virtual int AVS_STDCALL SetMemoryMax(int mem) = 0;
  virtual int AVS_STDCALL SetWorkingDir(const char* newdir) = 0;
  virtual void* AVS_STDCALL ManageCache(int key, void* data) = 0;
  virtual bool AVS_STDCALL PlanarChromaAlignment(PlanarChromaAlignmentMode key) = 0;
  virtual PVideoFrame AVS_STDCALL SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch,
                                                 int new_row_size, int new_height, int rel_offsetU,
                                                 int rel_offsetV, int new_pitchUV) = 0;
};

// A clip that passes everything to its source; filters override what they change.
class GenericVideoFilter : public IClip {
 protected:
  PClip child;
  VideoInfo vi;

 public:
  explicit GenericVideoFilter(PClip child_) : child(child_), vi(child->GetVideoInfo()) {}

  PVideoFrame AVS_STDCALL GetFrame(int n, IScriptEnvironment* env) override {
    return child->GetFrame(n, env);
  }
  bool AVS_STDCALL GetParity(int n) override { return child->GetParity(n); }
  void AVS_STDCALL GetAudio(void* buf, avs_int64 start, avs_int64 count,
                            IScriptEnvironment* env) override {
    child->GetAudio(buf, start, count, env);
  }
  void AVS_STDCALL SetCacheHints(int, int) override {}
  const VideoInfo& AVS_STDCALL GetVideoInfo() override { return vi; }
};

#pragma pack(pop)

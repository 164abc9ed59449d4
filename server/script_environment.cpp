#include "server/script_environment.h"

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "server/builtin_conversions.h"
#include "server/text_argument.h"
#include "system/process.h"

namespace quillfen::server {
namespace {

using PluginInit = const char*(AVS_STDCALL*)(IScriptEnvironment*);

std::string format_message(const char* fmt, va_list args) {
  va_list measuring;
  va_copy(measuring, args);
  const int length = std::vsnprintf(nullptr, 0, fmt, measuring);
  va_end(measuring);
  if (length < 0) return fmt;
  std::string text(static_cast<std::size_t>(length), '\0');
  std::vsnprintf(text.data(), text.size() + 1, fmt, args);
  return text;
}

// VSprintf receives the caller's va_list as a pointer. Where va_list is a
// pointer itself (32-bit x86), that pointer is the list; elsewhere it is the
// address of the caller's va_list: an array type on x86-64, whose name
// decays to exactly that address, a structure on aarch64, which the caller
// passes by its address.
template <typename List = va_list>
void copy_argument_list(List& into, void* given) {
  if constexpr (std::is_pointer_v<List>)
    va_copy(into, static_cast<List>(given));
  else
    va_copy(into, *static_cast<List*>(given));
}

}  // namespace

ScriptEnvironment::ScriptEnvironment() { register_builtin_conversions(*this); }

ScriptEnvironment::~ScriptEnvironment() {
  for (auto it = at_exit_.rbegin(); it != at_exit_.rend(); ++it) {
    try {
      it->first(it->second, this);
    } catch (...) {
      // A failing shutdown function must not stop the others or escape a
      // destructor; there is no one left to report it to.
    }
  }
}

std::string ScriptEnvironment::load_plugin(const std::string& path) {
  PluginModule module(path);
  auto init = reinterpret_cast<PluginInit>(module.symbol("AvisynthPluginInit2"));
  if (!init) throw ServerError("plugin \"" + path + "\" has no AvisynthPluginInit2 entry point");
  // Keep the module loaded from now on: its init may register functions even
  // if it fails later.
  modules_.push_back(std::move(module));
  const char* version = nullptr;
  try {
    version = init(this);
  } catch (const AvisynthError& error) {
    throw ServerError("plugin \"" + path + "\" failed to start: " + error.msg);
  }
  return version ? version : "";
}

const RegisteredFunction& ScriptEnvironment::function_named(const char* name) {
  const RegisteredFunction* function = name ? functions_.find(name) : nullptr;
  if (!function) throw NotFound();
  return *function;
}

AVSValue ScriptEnvironment::invoke_with_text(const std::string& name, PClip clip,
                                             const std::vector<std::pair<std::string, std::string>>& named_text) {
  const RegisteredFunction* function = functions_.find(name);
  if (!function) throw ServerError("no function named \"" + name + "\"");
  const FunctionSignature& signature = function->signature;
  std::vector<GivenArgument> arguments;
  if (clip) arguments.push_back({nullptr, AVSValue(clip)});
  for (const auto& [argument_name, text] : named_text) {
    const std::optional<std::size_t> position = signature.find(argument_name);
    if (!position) throw ArgumentError(signature.error("no argument named \"" + argument_name + "\""));
    try {
      arguments.push_back({argument_name.c_str(),
                           value_from_text(signature.parameters()[*position].kind, text, strings_)});
    } catch (const quillfen::arguments::TextArgumentError& error) {
      throw ArgumentError(signature.error(signature.describe(*position) + " " + error.what()));
    }
  }
  const BoundArguments bound = bind_arguments(signature, arguments);
  return function->apply(bound.array(), function->user_data, this);
}

long AVS_STDCALL ScriptEnvironment::GetCPUFlags() {
  // No CPU-specific paths are offered: plugins take their portable code,
  // which gives the same bytes on every machine.
  return 0;
}

char* AVS_STDCALL ScriptEnvironment::SaveString(const char* s, int length) {
  if (!s) return strings_.keep("");
  return strings_.keep(length < 0 ? std::string_view(s) : std::string_view(s, static_cast<std::size_t>(length)));
}

char* AVS_STDCALL ScriptEnvironment::Sprintf(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = format_message(fmt, args);
  va_end(args);
  return strings_.keep(text);
}

char* AVS_STDCALL ScriptEnvironment::VSprintf(const char* fmt, void* val) {
  va_list args;
  copy_argument_list(args, val);
  std::string text = format_message(fmt, args);
  va_end(args);
  return strings_.keep(text);
}

void ScriptEnvironment::throw_message(const std::string& message) {
  throw AvisynthError(strings_.keep(message));
}

void AVS_STDCALL ScriptEnvironment::ThrowError(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = format_message(fmt, args);
  va_end(args);
  throw_message(text);
}

void AVS_STDCALL ScriptEnvironment::AddFunction(const char* name, const char* params, ApplyFunc apply,
                                                void* user_data) {
  if (!name || !*name || !params || !apply) throw_message("AddFunction: name, signature and function are required");
  try {
    functions_.add(name, params, apply, user_data);
  } catch (const ServerError& error) {
    throw_message(error.what());
  }
}

bool AVS_STDCALL ScriptEnvironment::FunctionExists(const char* name) {
  return name && functions_.find(name) != nullptr;
}

AVSValue AVS_STDCALL ScriptEnvironment::Invoke(const char* name, const AVSValue args, const char** arg_names) {
  const RegisteredFunction& function = function_named(name);
  std::vector<GivenArgument> arguments;
  // A single void value is a call without arguments.
  const int count = args.IsArray() || args.Defined() ? args.ArraySize() : 0;
  for (int i = 0; i < count; ++i) arguments.push_back({arg_names ? arg_names[i] : nullptr, args[i]});
  BoundArguments bound;
  try {
    bound = bind_arguments(function.signature, arguments);
  } catch (const ServerError& error) {
    throw_message(error.what());
  }
  return function.apply(bound.array(), function.user_data, this);
}

AVSValue AVS_STDCALL ScriptEnvironment::GetVar(const char* name) {
  const AVSValue* value = name ? variables_.find(name) : nullptr;
  if (!value) throw NotFound();
  return *value;
}

bool AVS_STDCALL ScriptEnvironment::SetVar(const char* name, const AVSValue& val) {
  if (!name) throw_message("SetVar: a variable needs a name");
  // A string value is copied so that it outlives the caller's buffer.
  return variables_.set(name, val.IsString() ? AVSValue(SaveString(val.AsString(""))) : val);
}

bool AVS_STDCALL ScriptEnvironment::SetGlobalVar(const char* name, const AVSValue& val) {
  if (!name) throw_message("SetGlobalVar: a variable needs a name");
  return variables_.set_global(name, val.IsString() ? AVSValue(SaveString(val.AsString(""))) : val);
}

void AVS_STDCALL ScriptEnvironment::PushContext(int) { variables_.push_scope(); }

void AVS_STDCALL ScriptEnvironment::PopContext() { variables_.pop_scope(); }

PVideoFrame AVS_STDCALL ScriptEnvironment::NewVideoFrame(const VideoInfo& vi, int align) {
  try {
    return pool_.acquire(frame_layout(vi, align));
  } catch (const ServerError& error) {
    throw_message(error.what());
  }
}

bool AVS_STDCALL ScriptEnvironment::MakeWritable(PVideoFrame* pvf) {
  if (!pvf || !*pvf || (*pvf)->IsWritable()) return false;
  const VideoFrame& source = *pvf->get();
  PVideoFrame copy;
  try {
    copy = pool_.acquire(frame_layout_like(source, FRAME_ALIGN));
  } catch (const ServerError& error) {
    throw_message(error.what());
  }
  BitBlt(copy->GetWritePtr(), copy->GetPitch(), source.GetReadPtr(), source.GetPitch(), source.GetRowSize(),
         source.GetHeight());
  if (copy->GetPitch(PLANAR_U) != 0) {
    for (int plane : {PLANAR_U, PLANAR_V})
      BitBlt(copy->GetWritePtr(plane), copy->GetPitch(plane), source.GetReadPtr(plane), source.GetPitch(plane),
             source.GetRowSize(plane), source.GetHeight(plane));
  }
  *pvf = copy;
  return true;
}

void AVS_STDCALL ScriptEnvironment::BitBlt(BYTE* dstp, int dst_pitch, const BYTE* srcp, int src_pitch,
                                           int row_size, int height) {
  if (row_size <= 0 || height <= 0) return;
  if (dst_pitch == src_pitch && dst_pitch == row_size) {
    std::memmove(dstp, srcp, static_cast<std::size_t>(row_size) * static_cast<std::size_t>(height));
    return;
  }
  for (int y = 0; y < height; ++y) {
    std::memmove(dstp, srcp, static_cast<std::size_t>(row_size));
    dstp += dst_pitch;
    srcp += src_pitch;
  }
}

void AVS_STDCALL ScriptEnvironment::AtExit(ShutdownFunc function, void* user_data) {
  if (function) at_exit_.emplace_back(function, user_data);
}

void AVS_STDCALL ScriptEnvironment::CheckVersion(int version) {
  if (version > AVISYNTH_INTERFACE_VERSION)
    ThrowError("Plugin needs interface version %d; this frame server offers version %d", version,
               AVISYNTH_INTERFACE_VERSION);
}

PVideoFrame AVS_STDCALL ScriptEnvironment::Subframe(PVideoFrame src, int rel_offset, int new_pitch,
                                                    int new_row_size, int new_height) {
  if (!src) throw_message("Subframe: no source frame");
  try {
    const long long offset = static_cast<long long>(src->GetOffset()) + rel_offset;
    if (offset < INT_MIN || offset > INT_MAX) throw ServerError("Subframe: offset outside the frame's buffer");
    return pool_.view(src, static_cast<int>(offset), new_pitch, new_row_size, new_height, 0, 0, 0);
  } catch (const ServerError& error) {
    throw_message(error.what());
  }
}

PVideoFrame AVS_STDCALL ScriptEnvironment::SubframePlanar(PVideoFrame src, int rel_offset, int new_pitch,
                                                          int new_row_size, int new_height, int rel_offsetU,
                                                          int rel_offsetV, int new_pitchUV) {
  if (!src) throw_message("SubframePlanar: no source frame");
  try {
    const long long offsets[] = {static_cast<long long>(src->GetOffset(PLANAR_Y)) + rel_offset,
                                 static_cast<long long>(src->GetOffset(PLANAR_U)) + rel_offsetU,
                                 static_cast<long long>(src->GetOffset(PLANAR_V)) + rel_offsetV};
    for (long long offset : offsets)
      if (offset < INT_MIN || offset > INT_MAX) throw ServerError("SubframePlanar: offset outside the frame's buffer");
    if (new_pitchUV == 0) throw ServerError("SubframePlanar: a planar frame needs a chroma pitch");
    return pool_.view(src, static_cast<int>(offsets[0]), new_pitch, new_row_size, new_height,
                      static_cast<int>(offsets[1]), static_cast<int>(offsets[2]), new_pitchUV);
  } catch (const ServerError& error) {
    throw_message(error.what());
  }
}

int AVS_STDCALL ScriptEnvironment::SetMemoryMax(int mem) {
  // In megabytes, as plugins give it; 0 or less only asks for the setting.
  if (mem > 0) pool_.set_idle_limit(static_cast<std::size_t>(mem) << 20);
  return static_cast<int>(std::min<std::size_t>(pool_.idle_limit() >> 20, INT_MAX));
}

int AVS_STDCALL ScriptEnvironment::SetWorkingDir(const char* newdir) {
  return newdir && system::change_directory(newdir) ? 0 : 1;
}

void* AVS_STDCALL ScriptEnvironment::ManageCache(int, void*) {
  // There is no frame cache to manage: frames are made on request.
  return nullptr;
}

bool AVS_STDCALL ScriptEnvironment::PlanarChromaAlignment(PlanarChromaAlignmentMode) {
  // Chroma planes always start on the frame alignment, so every mode holds.
  return true;
}

}  // namespace quillfen::server

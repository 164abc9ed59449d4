// Only in the wheel's module, which carries its own copy of the C++ runtime:
// that copy sets aside a pool for exceptions thrown when memory runs out
// (about 70 KiB) when the module is loaded, and nothing frees it when the
// host unloads the module, so every load and unload would lose it. The
// runtime frees it here, when the module is unloaded, after the host has
// freed every filter instance.
namespace __gnu_cxx {
void __freeres() noexcept;
}

namespace quillfen {

namespace {

[[gnu::destructor]] void release_static_runtime() { __gnu_cxx::__freeres(); }

}  // namespace

}  // namespace quillfen

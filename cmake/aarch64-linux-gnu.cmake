# Cross build for 64-bit ARM Linux with Debian's cross compiler
# (g++-aarch64-linux-gnu) and the arm64 libraries of Debian's multiarch
# (libpng-dev:arm64, libgtest-dev:arm64, libstdc++6:arm64), which live beside
# the host's under /usr/lib/aarch64-linux-gnu. Programs built here run under
# qemu-user (qemu-aarch64); the test suite runs through it too.
#
#   cmake -S . -B build-aarch64 --toolchain cmake/aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_C_COMPILER aarch64-linux-gnu-gcc)
set(CMAKE_CXX_COMPILER aarch64-linux-gnu-g++)
set(CMAKE_LIBRARY_ARCHITECTURE aarch64-linux-gnu)
# Only arm64 libraries, never the host's.
set(CMAKE_IGNORE_PATH /usr/lib/x86_64-linux-gnu /lib/x86_64-linux-gnu)
# Programs run on Debian's arm64 libraries alone, the ones an arm64 machine
# has: the loader /lib/ld-linux-aarch64.so.1, libc6:arm64 and
# libstdc++6:arm64. The cross C library under /usr/aarch64-linux-gnu only
# links them; its loader must not be mixed with the multiarch libc (the
# command then hangs), so qemu gets no -L prefix.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64)

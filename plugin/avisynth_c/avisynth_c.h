// AviSynth+'s C interface as this module includes it: every entry point a
// type (name##_func) rather than an import, since the module takes the
// entry points from the host at run time (host_api.h) and links to no
// AviSynth library.
#pragma once

#define AVSC_NO_DECLSPEC
// The header's own loader opens AviSynth by name; the module asks the
// library that called it instead.
#define EXTERNAL_AVS_C_API_LOADER
#include <avisynth_c.h>

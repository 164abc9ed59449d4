// What marks a module's entry point for export; everything else in a module
// stays hidden (the modules build with hidden visibility).
#pragma once

#if defined(_WIN32)
#define QUILLFEN_EXPORT __declspec(dllexport)
#else
#define QUILLFEN_EXPORT __attribute__((visibility("default")))
#endif

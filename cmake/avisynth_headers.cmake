# Where AviSynth+'s headers are, for every part built against them (the
# C-interface module, avs2y4m). In this order: QUILLFEN_AVISYNTH_INCLUDE_DIR
# (any folder that holds avisynth_c.h, such as avs_core/include of an
# AviSynth+ source tree: no AviSynth+ build is needed), pkg-config's
# `avisynth`, then CMAKE_PREFIX_PATH and the system's prefixes
# (include/avisynth). Sets QUILLFEN_AVISYNTH_INCLUDE_DIR in the cache, or
# leaves it NOTFOUND.
set(QUILLFEN_AVISYNTH_INCLUDE_DIR "" CACHE PATH
    "A folder holding AviSynth+'s avisynth_c.h (an install's include/avisynth, or a source tree's avs_core/include)")
if(NOT QUILLFEN_AVISYNTH_INCLUDE_DIR)
  find_package(PkgConfig QUIET)
  if(PkgConfig_FOUND)
    pkg_check_modules(AVISYNTH QUIET avisynth)
  endif()
  unset(QUILLFEN_AVISYNTH_INCLUDE_DIR CACHE)
  find_path(QUILLFEN_AVISYNTH_INCLUDE_DIR avisynth_c.h
            HINTS ${AVISYNTH_INCLUDE_DIRS}
            PATH_SUFFIXES avisynth
            DOC "A folder holding AviSynth+'s avisynth_c.h (an install's include/avisynth, or a source tree's avs_core/include)")
elseif(NOT EXISTS "${QUILLFEN_AVISYNTH_INCLUDE_DIR}/avisynth_c.h")
  message(FATAL_ERROR "QUILLFEN_AVISYNTH_INCLUDE_DIR=${QUILLFEN_AVISYNTH_INCLUDE_DIR} holds no avisynth_c.h: "
                      "name AviSynth+'s include/avisynth, or avs_core/include in its source tree")
endif()

# The VapourSynth module inside VapourSynth, a real host, when a build of it
# is found (tests/hosts/build/build-vapoursynth.sh makes one in the host
# cache). Plain builds only: a sanitized module cannot be loaded into a host
# built without the sanitizer.
if(TARGET quillfen_vapoursynth AND QUILLFEN_VAPOURSYNTH_LIBRARY AND NOT QUILLFEN_SANITIZE)
  add_executable(quillfen_vapoursynth_host ${CMAKE_CURRENT_LIST_DIR}/vapoursynth_host.cpp)
  target_include_directories(quillfen_vapoursynth_host PRIVATE ${QUILLFEN_VAPOURSYNTH_INCLUDE_DIR})
  target_link_libraries(quillfen_vapoursynth_host PRIVATE quillfen_y4m quillfen_system ${QUILLFEN_VAPOURSYNTH_LIBRARY})
  get_filename_component(vapoursynth_library_dir ${QUILLFEN_VAPOURSYNTH_LIBRARY} DIRECTORY)
  set_target_properties(quillfen_vapoursynth_host PROPERTIES BUILD_RPATH ${vapoursynth_library_dir})
  file(GLOB vapoursynth_python_dirs ${vapoursynth_library_dir}/python3*/site-packages)
  add_dependencies(quillfen_tests quillfen_vapoursynth_host quillfen_vapoursynth)
  target_compile_definitions(quillfen_tests PRIVATE
    QUILLFEN_VAPOURSYNTH_MODULE="$<TARGET_FILE:quillfen_vapoursynth>"
    QUILLFEN_VAPOURSYNTH_HOST="$<TARGET_FILE:quillfen_vapoursynth_host>"
    QUILLFEN_VSPIPE="${QUILLFEN_VSPIPE}"
    QUILLFEN_VAPOURSYNTH_PYTHONPATH="${vapoursynth_python_dirs}"
    QUILLFEN_HOSTS_DIR="${CMAKE_CURRENT_LIST_DIR}")
  # The README's Debian example: contrib's script, a video ffmpeg makes.
  target_compile_definitions(quillfen_tests PRIVATE
    QUILLFEN_VAPOURSYNTH_EXAMPLE="${PROJECT_SOURCE_DIR}/contrib/vapoursynth/quillfen.vpy")
  find_program(QUILLFEN_FFMPEG ffmpeg)
  if(QUILLFEN_FFMPEG)
    target_compile_definitions(quillfen_tests PRIVATE QUILLFEN_FFMPEG="${QUILLFEN_FFMPEG}")
  endif()
  # The wheel made from this build tree, installed with pip into a fresh
  # venv, its module run in the same VapourSynth.
  add_dependencies(quillfen_tests quillfen_vapoursynth_wheel)
  add_test(NAME VapourSynthWheel COMMAND ${PROJECT_SOURCE_DIR}/tests/wheel_test.sh ${CMAKE_BINARY_DIR}
           ${CMAKE_BINARY_DIR}/wheel-dist $<TARGET_FILE:quillfen> $<TARGET_FILE:quillfen_vapoursynth_host>)
  set_tests_properties(VapourSynthWheel PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
  find_program(QUILLFEN_VALGRIND valgrind)
  if(QUILLFEN_VALGRIND)
    target_compile_definitions(quillfen_tests PRIVATE QUILLFEN_VALGRIND="${QUILLFEN_VALGRIND}")
  endif()
elseif(QUILLFEN_SANITIZE)
  target_compile_definitions(quillfen_tests PRIVATE
    "QUILLFEN_VAPOURSYNTH_SKIP_REASON=\"VapourSynth tests run in the Release preset only\"")
else()
  target_compile_definitions(quillfen_tests PRIVATE
    "QUILLFEN_VAPOURSYNTH_SKIP_REASON=\"VapourSynth R65 not found (tests/run_all.sh builds it given its source, docs/testing.md, or give its prefix in CMAKE_PREFIX_PATH)\"")
endif()

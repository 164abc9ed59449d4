# The plugins inside AviSynth+, a real host written independently of this
# project. The 2.5 module is driven through avs2y4m (contrib/avs2y4m), the
# command a user runs scripts with; the C-interface module through a host
# program of the tests' own on AviSynth+'s C interface
# (tests/hosts/avisynth_c_host.cpp), which writes every format the module
# takes and reads frame properties. Both need an AviSynth+ build
# (tests/hosts/build/build-avisynthplus.sh makes one in the host cache;
# tests/run_all.sh passes its prefix in CMAKE_PREFIX_PATH). Plain builds
# only: a sanitized plugin cannot be loaded into a host built without the
# sanitizer.
set(avisynthplus_cases same-bytes four-two-oh autoload refusals runner valgrind)
set(avisynth_c_cases c-same-bytes c-properties c-refusals c-valgrind c-autoload c-float)
if(QUILLFEN_AVISYNTH_INCLUDE_DIR)
  find_library(QUILLFEN_AVISYNTH_LIBRARY avisynth HINTS ${AVISYNTH_LIBRARY_DIRS} ${QUILLFEN_AVISYNTH_INCLUDE_DIR}/../../lib)
endif()
if(QUILLFEN_SANITIZE)
  set(avisynthplus_skip "AviSynth+ tests run in plain builds only")
  set(avisynth_c_skip "${avisynthplus_skip}")
else()
  if(NOT TARGET avs2y4m OR NOT QUILLFEN_AVISYNTH_LIBRARY)
    set(avisynthplus_skip "no AviSynth+ library found (tests/run_all.sh builds it given its source, docs/testing.md, or give its prefix in CMAKE_PREFIX_PATH)")
  endif()
  if(NOT TARGET quillfen_avisynth_c OR NOT QUILLFEN_AVISYNTH_LIBRARY)
    set(avisynth_c_skip "no AviSynth+ library beside its headers (tests/run_all.sh builds it given its source, docs/testing.md, or give its prefix in CMAKE_PREFIX_PATH)")
  endif()
endif()
if(NOT TARGET quillfen_plugin OR NOT TARGET quillfen)
  set(avisynthplus_skip "the plugin or the command is not built")
  set(avisynth_c_skip "${avisynthplus_skip}")
endif()

foreach(group avisynthplus avisynth_c)
  if(${group}_skip)
    foreach(case ${${group}_cases})
      add_test(NAME AvisynthPlus.${case} COMMAND sh -c "echo 'skipped: ${${group}_skip}'; exit 77")
      set_tests_properties(AvisynthPlus.${case} PROPERTIES SKIP_RETURN_CODE 77)
    endforeach()
  endif()
endforeach()
if(avisynthplus_skip AND avisynth_c_skip)
  return()
endif()

find_program(QUILLFEN_VALGRIND valgrind)
set(avisynthplus_valgrind "")
if(QUILLFEN_VALGRIND)
  set(avisynthplus_valgrind "${QUILLFEN_VALGRIND}")
endif()
set(avisynth_c_host "")
set(avisynth_c_module "")
if(NOT avisynth_c_skip)
  add_executable(quillfen_avisynth_c_host ${CMAKE_CURRENT_LIST_DIR}/avisynth_c_host.cpp)
  target_include_directories(quillfen_avisynth_c_host SYSTEM PRIVATE ${QUILLFEN_AVISYNTH_INCLUDE_DIR})
  target_link_libraries(quillfen_avisynth_c_host PRIVATE quillfen_y4m ${QUILLFEN_AVISYNTH_LIBRARY})
  get_filename_component(avisynth_library_dir ${QUILLFEN_AVISYNTH_LIBRARY} DIRECTORY)
  set_target_properties(quillfen_avisynth_c_host PROPERTIES BUILD_RPATH ${avisynth_library_dir}
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  add_dependencies(quillfen_tests quillfen_avisynth_c_host quillfen_avisynth_c)
  set(avisynth_c_host $<TARGET_FILE:quillfen_avisynth_c_host>)
  set(avisynth_c_module $<TARGET_FILE:quillfen_avisynth_c>)
endif()
set(avs2y4m none)
if(TARGET avs2y4m)
  set(avs2y4m $<TARGET_FILE:avs2y4m>)
endif()
# The float case compares with the VapourSynth module in the tests' own
# VapourSynth host (vapoursynth.cmake), where that is built.
set(vapoursynth_host_arguments "")
if(TARGET quillfen_vapoursynth AND QUILLFEN_VAPOURSYNTH_LIBRARY AND NOT QUILLFEN_SANITIZE)
  set(vapoursynth_host_arguments $<TARGET_FILE:quillfen_vapoursynth_host> $<TARGET_FILE:quillfen_vapoursynth>)
endif()
include(GNUInstallDirs)
foreach(group avisynthplus avisynth_c)
  if(${group}_skip)
    continue()
  endif()
  foreach(case ${${group}_cases})
    add_test(NAME AvisynthPlus.${case}
             COMMAND ${CMAKE_CURRENT_LIST_DIR}/avisynthplus_test.sh ${case} ${avs2y4m}
                     $<TARGET_FILE:quillfen_plugin> $<TARGET_FILE:quillfen> ${PROJECT_SOURCE_DIR}/samples/quillfen-sample.y4m
                     "${avisynthplus_valgrind}" "${avisynth_c_host}" "${avisynth_c_module}" ${CMAKE_COMMAND}
                     ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_LIBDIR} ${vapoursynth_host_arguments})
    set_tests_properties(AvisynthPlus.${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)
  endforeach()
endforeach()

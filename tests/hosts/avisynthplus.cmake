# The plugin inside AviSynth+, a real host written independently of this
# project, when a build of it is found (.ci/build-avisynthplus.sh makes one
# in the host cache). Plain builds only: a sanitized plugin cannot be loaded
# into a host built without the sanitizer.
if(DEFINED ENV{QUILLFEN_HOST_CACHE})
  set(avisynthplus_default_root "$ENV{QUILLFEN_HOST_CACHE}/avisynthplus-1ffeb08c")
else()
  set(avisynthplus_default_root "$ENV{HOME}/.cache/quillfen-hosts/avisynthplus-1ffeb08c")
endif()
set(QUILLFEN_AVISYNTHPLUS_ROOT "${avisynthplus_default_root}" CACHE PATH
    "Install prefix of the AviSynth+ build the integration tests run the plugin in")

set(avisynthplus_cases same-bytes four-two-oh autoload refusals valgrind)
set(avisynthplus_library "${QUILLFEN_AVISYNTHPLUS_ROOT}/lib/libavisynth.so")
if(QUILLFEN_SANITIZE)
  set(avisynthplus_skip "AviSynth+ tests run in plain builds only")
elseif(NOT EXISTS "${avisynthplus_library}" OR NOT EXISTS "${QUILLFEN_AVISYNTHPLUS_ROOT}/include/avisynth/avisynth.h")
  set(avisynthplus_skip "no AviSynth+ in ${QUILLFEN_AVISYNTHPLUS_ROOT} (set QUILLFEN_AVISYNTHPLUS_ROOT, or run .ci/build-avisynthplus.sh)")
endif()

if(avisynthplus_skip OR NOT TARGET quillfen_plugin OR NOT TARGET quillfen)
  foreach(case ${avisynthplus_cases})
    add_test(NAME AvisynthPlus.${case} COMMAND sh -c "echo 'skipped: ${avisynthplus_skip}'; exit 77")
    set_tests_properties(AvisynthPlus.${case} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
  return()
endif()

# The host's header inlines must stay the program's own (hidden), or they
# take the place of the library's and its calls recurse.
add_executable(quillfen_avisynthplus_host ${CMAKE_CURRENT_LIST_DIR}/avisynthplus_host.cpp)
target_include_directories(quillfen_avisynthplus_host SYSTEM PRIVATE "${QUILLFEN_AVISYNTHPLUS_ROOT}/include")
target_link_libraries(quillfen_avisynthplus_host PRIVATE "${avisynthplus_library}")
set_target_properties(quillfen_avisynthplus_host PROPERTIES
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  BUILD_RPATH "${QUILLFEN_AVISYNTHPLUS_ROOT}/lib")
find_program(QUILLFEN_VALGRIND valgrind)
set(avisynthplus_valgrind "")
if(QUILLFEN_VALGRIND)
  set(avisynthplus_valgrind "${QUILLFEN_VALGRIND}")
endif()
foreach(case ${avisynthplus_cases})
  add_test(NAME AvisynthPlus.${case}
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/avisynthplus_test.sh ${case} $<TARGET_FILE:quillfen_avisynthplus_host>
                   $<TARGET_FILE:quillfen_plugin> $<TARGET_FILE:quillfen> ${PROJECT_SOURCE_DIR}/samples/quillfen-sample.y4m
                   ${avisynthplus_valgrind})
  set_tests_properties(AvisynthPlus.${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()

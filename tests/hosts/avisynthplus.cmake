# The plugin inside AviSynth+, a real host written independently of this
# project, driven through avs2y4m (contrib/avs2y4m), the command a user runs
# scripts with; both are there when AviSynth+ is found (.ci/build-avisynthplus.sh
# makes a build in the host cache). Plain builds only: a sanitized plugin
# cannot be loaded into a host built without the sanitizer.
set(avisynthplus_cases same-bytes four-two-oh autoload refusals runner valgrind)
if(QUILLFEN_SANITIZE)
  set(avisynthplus_skip "AviSynth+ tests run in plain builds only")
elseif(NOT TARGET avs2y4m OR NOT QUILLFEN_AVISYNTH_LIBRARY)
  set(avisynthplus_skip "no AviSynth+ library found (give its prefix in CMAKE_PREFIX_PATH, or run .ci/build-avisynthplus.sh)")
endif()

if(avisynthplus_skip OR NOT TARGET quillfen_plugin OR NOT TARGET quillfen)
  foreach(case ${avisynthplus_cases})
    add_test(NAME AvisynthPlus.${case} COMMAND sh -c "echo 'skipped: ${avisynthplus_skip}'; exit 77")
    set_tests_properties(AvisynthPlus.${case} PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
  return()
endif()

find_program(QUILLFEN_VALGRIND valgrind)
set(avisynthplus_valgrind "")
if(QUILLFEN_VALGRIND)
  set(avisynthplus_valgrind "${QUILLFEN_VALGRIND}")
endif()
foreach(case ${avisynthplus_cases})
  add_test(NAME AvisynthPlus.${case}
           COMMAND ${CMAKE_CURRENT_LIST_DIR}/avisynthplus_test.sh ${case} $<TARGET_FILE:avs2y4m>
                   $<TARGET_FILE:quillfen_plugin> $<TARGET_FILE:quillfen> ${PROJECT_SOURCE_DIR}/samples/quillfen-sample.y4m
                   ${avisynthplus_valgrind})
  set_tests_properties(AvisynthPlus.${case} PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endforeach()

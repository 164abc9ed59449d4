# The optional parts of the build (host modules, host tools) as AUTO, ON or
# OFF. AUTO builds a part when what it needs is found and says why when it
# is not; ON makes a missing need a configure error that names it; OFF
# leaves the part out. Every decision is listed at the end of configure.

# quillfen_feature(NAME DESCRIPTION): declares the cache setting NAME.
function(quillfen_feature name description)
  set(${name} AUTO CACHE STRING "${description}: AUTO, ON or OFF")
  set_property(CACHE ${name} PROPERTY STRINGS AUTO ON OFF)
  string(TOUPPER "${${name}}" value)
  if(NOT value MATCHES "^(AUTO|ON|OFF)$")
    message(FATAL_ERROR "${name}=${${name}}: give AUTO, ON or OFF")
  endif()
endfunction()

# quillfen_feature_wanted(NAME OUT): OUT is true unless NAME is OFF, in which
# case the part is recorded as left out by request.
function(quillfen_feature_wanted name out)
  string(TOUPPER "${${name}}" value)
  if(value STREQUAL "OFF")
    set_property(GLOBAL APPEND PROPERTY quillfen_feature_summary "${name}: off (${name}=OFF)")
    set(${out} FALSE PARENT_SCOPE)
  else()
    set(${out} TRUE PARENT_SCOPE)
  endif()
endfunction()

# quillfen_feature_missing(NAME REASON): what the part needs is not there.
# Fails the configure when NAME is ON, otherwise records REASON.
function(quillfen_feature_missing name reason)
  string(TOUPPER "${${name}}" value)
  if(value STREQUAL "ON")
    message(FATAL_ERROR "${name}=ON, but ${reason}")
  endif()
  message(STATUS "${name}: not built: ${reason}")
  set_property(GLOBAL APPEND PROPERTY quillfen_feature_summary "${name}: not built: ${reason}")
endfunction()

# quillfen_feature_built(NAME WHAT): the part is built, with WHAT it found.
function(quillfen_feature_built name what)
  set_property(GLOBAL APPEND PROPERTY quillfen_feature_summary "${name}: built (${what})")
endfunction()

# Called once, last, by the top CMakeLists.txt.
function(quillfen_feature_report)
  get_property(lines GLOBAL PROPERTY quillfen_feature_summary)
  message(STATUS "Quillfen's optional parts:")
  foreach(line IN LISTS lines)
    message(STATUS "  ${line}")
  endforeach()
endfunction()

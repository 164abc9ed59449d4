# Fails when a function of the libraries whose object folders are given
# uses more stack than LIMIT bytes, as GCC's -fstack-usage counted it when
# it built them, or grows its stack by an amount it cannot bound. Host
# threads can be small (musl's default is 128 KiB), so the filter's tables
# belong in its workspace, not on the stack.
#   cmake -DLIMIT=32768 -DOBJECT_DIRS="dir;dir" -P stack_usage_check.cmake
set(reports)
foreach(dir IN LISTS OBJECT_DIRS)
  file(GLOB_RECURSE found "${dir}/*.su")
  list(APPEND reports ${found})
endforeach()
if(NOT reports)
  message(FATAL_ERROR "no stack usage reports under ${OBJECT_DIRS}: build the libraries first")
endif()

set(largest 0)
set(over "")
foreach(report IN LISTS reports)
  file(STRINGS "${report}" lines)
  foreach(line IN LISTS lines)
    # file:line:column:function<TAB>bytes<TAB>static|dynamic|dynamic,bounded
    if(NOT line MATCHES "^(.*)\t([0-9]+)\t([a-z,]+)$")
      message(FATAL_ERROR "${report}: unreadable line `${line}`")
    endif()
    set(function "${CMAKE_MATCH_1}")
    set(bytes "${CMAKE_MATCH_2}")
    if(CMAKE_MATCH_3 STREQUAL "dynamic")
      string(APPEND over "\n  unbounded: ${function}")
    endif()
    if(bytes GREATER LIMIT)
      string(APPEND over "\n  ${bytes} bytes: ${function}")
    endif()
    if(bytes GREATER largest)
      set(largest ${bytes})
      set(largest_function "${function}")
    endif()
  endforeach()
endforeach()
list(LENGTH reports count)
if(over)
  message(FATAL_ERROR "functions above ${LIMIT} bytes of stack:${over}")
endif()
message(STATUS "${count} objects; the most stack, ${largest} bytes: ${largest_function}")

# Run after a test binary is linked (cmake -P): lists its GoogleTest cases
# and writes one CTest entry per test suite into OUT, run as
# `BINARY --gtest_filter=Suite.*`.
#
# One process per suite rather than per case: a test binary links the
# library, FFmpeg's libraries and the testkit (some 170 shared objects),
# and the dynamic loader takes about 0.14 s of processor time to start it
# (0.3 s under ASan), more than most cases take to run.
#
#   -DBINARY=<path> -DOUT=<file> -DLABEL=<label> -DWORKDIR=<dir> -DTIMEOUT=<s>
#   [-DCOSTS=Suite=seconds,...]   (CTest's COST of the suites named)
foreach(var BINARY OUT LABEL WORKDIR TIMEOUT)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "gtest_suites.cmake: -D${var}= is missing")
  endif()
endforeach()

execute_process(COMMAND "${BINARY}" --gtest_list_tests
                WORKING_DIRECTORY "${WORKDIR}" TIMEOUT ${TIMEOUT}
                OUTPUT_VARIABLE listing ERROR_VARIABLE errors RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${BINARY} --gtest_list_tests failed (${status}):\n${listing}${errors}")
endif()

# The listing: "Suite.  # TypeParam = ..." at the margin, then its cases
# indented. A suite counts when it has a case that is not DISABLED_.
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(suite "")
set(cases 0)
set(disabled OFF)
set(content "")
macro(flush_suite)
  if(NOT suite STREQUAL "" AND NOT disabled AND cases GREATER 0)
    # A suite of one case that skips itself is reported as skipped; with
    # more cases the suite passes and gtest's output names the skipped ones.
    set(extra "")
    if(cases EQUAL 1)
      set(extra " SKIP_REGULAR_EXPRESSION \"\\\\[  SKIPPED \\\\]\"")
    endif()
    if(",${COSTS}," MATCHES ",${suite}=([0-9]+),")
      string(APPEND extra " COST ${CMAKE_MATCH_1}")
    endif()
    string(APPEND content
           "add_test(\"${suite}\" \"${BINARY}\" \"--gtest_filter=${suite}.*\")\n"
           "set_tests_properties(\"${suite}\" PROPERTIES LABELS \"${LABEL}\" WORKING_DIRECTORY \"${WORKDIR}\"${extra})\n")
  endif()
endmacro()
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.( |$)")
    set(next "${CMAKE_MATCH_1}") # flush_suite matches regexes of its own
    flush_suite()
    set(suite "${next}")
    set(cases 0)
    set(disabled OFF)
    if(suite MATCHES "(^|/)DISABLED_")
      set(disabled ON)
    endif()
  elseif(line MATCHES "^  ([^ ]+)" AND NOT CMAKE_MATCH_1 MATCHES "^DISABLED_")
    # A case this script cannot place would silently never run.
    if(suite STREQUAL "")
      message(FATAL_ERROR "${BINARY} --gtest_list_tests: a case before any suite: '${line}'")
    endif()
    if(NOT disabled)
      math(EXPR cases "${cases} + 1")
    endif()
  endif()
endforeach()
flush_suite()
file(WRITE "${OUT}" "${content}")

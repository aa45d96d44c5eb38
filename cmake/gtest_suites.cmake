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
set(suites "")
set(cases 0)
set(content "")
macro(flush_suite)
  if(NOT suite STREQUAL "" AND cases GREATER 0)
    list(APPEND suites "${suite}")
    # A suite of one case that skips itself is reported as skipped; with
    # more cases the suite passes and gtest's output names the skipped ones.
    set(skip "")
    if(cases EQUAL 1)
      set(skip " SKIP_REGULAR_EXPRESSION \"\\\\[  SKIPPED \\\\]\"")
    endif()
    string(APPEND content
           "add_test(\"${suite}\" \"${BINARY}\" \"--gtest_filter=${suite}.*\")\n"
           "set_tests_properties(\"${suite}\" PROPERTIES LABELS \"${LABEL}\" WORKING_DIRECTORY \"${WORKDIR}\"${skip})\n")
  endif()
endmacro()
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.( |$)")
    flush_suite()
    set(suite "${CMAKE_MATCH_1}")
    set(cases 0)
    if(suite MATCHES "(^|/)DISABLED_")
      set(suite "")
    endif()
  elseif(line MATCHES "^  ([^ ]+)" AND NOT CMAKE_MATCH_1 MATCHES "^DISABLED_")
    math(EXPR cases "${cases} + 1")
  endif()
endforeach()
flush_suite()
file(WRITE "${OUT}" "${content}")

# The layer check must fail on a call upwards through the public interface:
# a copy of src/ where the sound source includes the graphics source's
# header (the graphics source sits above it) must be refused.
#
#   cmake -DSRC=<src folder> -DCHECK=<check_layers.cmake> -DWORK=<scratch> -P upward_include.cmake
cmake_minimum_required(VERSION 3.25)
file(REMOVE_RECURSE "${WORK}")
file(COPY "${SRC}/" DESTINATION "${WORK}/src")
file(APPEND "${WORK}/src/sfile/sound_trim.cpp" "#include \"vexutil/gfile.h\"\n")
execute_process(COMMAND "${CMAKE_COMMAND}" -DSRC=${WORK}/src -P "${CHECK}" RESULT_VARIABLE result
                ERROR_VARIABLE said OUTPUT_QUIET)
file(REMOVE_RECURSE "${WORK}")
string(REGEX REPLACE "[ \n]+" " " said "${said}")
if(result EQUAL 0)
  message(FATAL_ERROR "the layer check passed a sound-source file that includes vexutil/gfile.h")
endif()
if(NOT said MATCHES "sound_trim.cpp includes vexutil/gfile.h, which is not beneath sfile")
  message(FATAL_ERROR "the layer check failed for another reason:\n${said}")
endif()
message(STATUS "the layer check refuses an upward include through a public header")

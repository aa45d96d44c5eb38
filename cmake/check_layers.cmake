# Checks the includes between the library's folders against the layers
# below: a folder of src/ may include its own headers, those of the folders
# listed as beneath it, and the public interface (vexutil/); nothing else.
# With every folder beneath only folders listed before it, no include can
# go round in a circle.
#
#   cmake -DSRC=<src folder> -P check_layers.cmake
#
# A new folder must be added here, or the check fails.
cmake_minimum_required(VERSION 3.25)

set(layers
  "util:"
  "file:util"
  "yuv:util"
  "audio:util file"
  "flic:util file"
  "formats:util file audio yuv"
  "stills:util file"
  "movie:util file audio yuv stills"
  "platform:util file formats"
  "ui:util file"
  "gfile:util file flic audio formats yuv stills movie platform"
  "sfile:util file audio formats movie platform gfile"
  "ogfile:util file flic stills movie ui gfile")

set(known "")
foreach(layer IN LISTS layers)
  string(REPLACE ":" ";" parts "${layer}")
  list(GET parts 0 folder)
  list(APPEND known ${folder})
  list(LENGTH parts n)
  set(beneath "")
  if(n GREATER 1)
    list(GET parts 1 beneath)
    separate_arguments(beneath UNIX_COMMAND "${beneath}")
  endif()
  foreach(b IN LISTS beneath)
    list(FIND known ${b} at)
    if(at EQUAL -1 OR b STREQUAL folder)
      message(FATAL_ERROR "layer table: ${folder} lists ${b}, which is not listed before it")
    endif()
  endforeach()
  set(allowed_${folder} ${folder} ${beneath} vexutil)
endforeach()

file(GLOB folders LIST_DIRECTORIES true RELATIVE "${SRC}" "${SRC}/*")
set(faults 0)
foreach(folder IN LISTS folders)
  if(NOT IS_DIRECTORY "${SRC}/${folder}")
    continue()
  endif()
  if(NOT folder IN_LIST known)
    message(SEND_ERROR "src/${folder} has no place in the layer table of check_layers.cmake")
    math(EXPR faults "${faults} + 1")
    continue()
  endif()
  file(GLOB_RECURSE sources "${SRC}/${folder}/*.h" "${SRC}/${folder}/*.cpp" "${SRC}/${folder}/*.c")
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^[ \t]*#[ \t]*include[ \t]+\"[A-Za-z0-9_]+/")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([A-Za-z0-9_]+)/.*$" "\\1" target "${line}")
      if(NOT target IN_LIST allowed_${folder})
        file(RELATIVE_PATH shown "${SRC}" "${source}")
        message(SEND_ERROR "src/${shown} includes ${target}/, which is not beneath ${folder}")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults EQUAL 0)
  message(STATUS "layers: every include of src/ goes downwards")
endif()

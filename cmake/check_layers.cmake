# Checks the includes between the library's folders against the layers
# below: a folder of src/ may include its own headers, those of the folders
# listed as beneath it, and the public headers (vexutil/) of those same
# folders; nothing else. A public header belongs to the folder that
# implements it (the table `owners`), so a call upwards through the public
# interface fails the check just as an include of a private header does.
# With every folder beneath only folders listed before it, no include can
# go round in a circle.
#
#   cmake -DSRC=<src folder> -P check_layers.cmake
#
# A new folder or public header must be added here, or the check fails.
cmake_minimum_required(VERSION 3.25)

set(layers
  "util:"
  "file:util"
  "executable:util file"
  "yuv:util"
  "huff:util file"
  "audio_codec:util"
  "sound_chunks:util file huff audio_codec"
  "flic:util file"
  "formats:util file audio_codec yuv"
  "stills:util file"
  "movie:util file yuv stills"
  "ui:util file"
  "lists:util file"
  "palette:util"
  "sfile:util file lists audio_codec sound_chunks formats movie executable"
  "gfile:util file lists palette flic formats yuv stills movie executable sfile"
  "csfile:util file huff audio_codec sound_chunks sfile"
  "ogfile:util file flic stills movie ui gfile")

# The folder that implements each public header; api.h and version.h
# declare nothing that runs and belong to every folder.
set(owners
  "api:" "version:" "util:util" "file:file" "yuv:yuv" "huff:huff" "flic:flic" "formats:formats"
  "movie:movie" "ui:ui" "sfile:sfile" "gfile:gfile" "csfile:csfile" "ogfile:ogfile")
foreach(pair IN LISTS owners)
  string(REPLACE ":" ";" parts "${pair}")
  list(GET parts 0 header)
  list(LENGTH parts n)
  set(owner_${header} "")
  if(n GREATER 1)
    list(GET parts 1 owner_${header})
  endif()
  set(owned_${header} TRUE)
endforeach()

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
  set(allowed_${folder} ${folder} ${beneath})
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
      set(what "${target}/")
      if(target STREQUAL "vexutil")
        string(REGEX REPLACE "^[^\"]*\"vexutil/([A-Za-z0-9_]+)\\.h\".*$" "\\1" header "${line}")
        set(what "vexutil/${header}.h")
        if(NOT DEFINED owned_${header})
          file(RELATIVE_PATH shown "${SRC}" "${source}")
          message(SEND_ERROR "src/${shown} includes ${what}, which has no owner in check_layers.cmake")
          math(EXPR faults "${faults} + 1")
          continue()
        endif()
        set(target "${owner_${header}}")
        if(target STREQUAL "")
          continue()
        endif()
      endif()
      if(NOT target IN_LIST allowed_${folder})
        file(RELATIVE_PATH shown "${SRC}" "${source}")
        message(SEND_ERROR "src/${shown} includes ${what}, which is not beneath ${folder}")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults EQUAL 0)
  message(STATUS "layers: every include of src/ goes downwards")
endif()

# Installs the build into a fresh prefix and builds two consumers from it:
# a CMake project using find_package(vexutil) and a C file compiled with the
# flags pkg-config gives for vexutil.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed")
endif()

execute_process(COMMAND ${CMAKE_COMMAND} -S ${CONSUMER} -B ${WORK_DIR}/consumer -G ${GENERATOR}
                        -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_C_COMPILER=${C_COMPILER}
                        -DCMAKE_CXX_COMPILER=${CXX_COMPILER} "-DCMAKE_CXX_FLAGS=${FLAGS}"
                        "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer configure failed:\n${out}\n${err}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${WORK_DIR}/consumer RESULT_VARIABLE rc OUTPUT_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "consumer build failed:\n${out}")
endif()
execute_process(COMMAND ${WORK_DIR}/consumer/consumer RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "find_package consumer failed")
endif()

# The installed tools find the installed library by their own RPATH: no
# LD_LIBRARY_PATH, and the build tree out of the way (a copy of the prefix
# elsewhere must still work). A chunk stream written and scanned goes
# through the file and compressed-sound interfaces they use.
if(TOOLS)
  set(moved ${WORK_DIR}/moved)
  file(COPY ${prefix}/ DESTINATION ${moved})
  set(ENV{LD_LIBRARY_PATH} "")
  file(WRITE ${WORK_DIR}/in.raw "0123456789abcdef0123456789abcdef")
  foreach(step "vexconv;${WORK_DIR}/in.raw;${WORK_DIR}/out.vcs;/Y1;/D8000;-q" "vexinfo;-v;/X;${WORK_DIR}/out.vcs")
    list(POP_FRONT step tool)
    execute_process(COMMAND ${moved}/bin/${tool} ${step} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "installed ${tool} ${step} failed (${rc}):\n${out}${err}")
    endif()
  endforeach()
  if(NOT out MATCHES "chunk 1 at 0: 36 bytes")
    message(FATAL_ERROR "installed vexinfo described the chunk stream as:\n${out}")
  endif()
endif()

# vexconv --gui from the moved install: the GTK module is found beside the
# library, and the window shows on a private X server (x_window_check
# closes it at Done and wants exit status 0). Asked for a window it cannot
# have (no display; the module gone), vexconv says why and fails rather
# than going on in the terminal.
if(TOOLS AND X_WINDOW_CHECK)
  # Under the sanitizers GTK's caches are no leaks of ours.
  set(supp "suppressions=${CMAKE_CURRENT_LIST_DIR}/gtk_caches.supp")
  if(DEFINED ENV{LSAN_OPTIONS} AND NOT "$ENV{LSAN_OPTIONS}" STREQUAL "")
    set(supp "$ENV{LSAN_OPTIONS}:${supp}")
  endif()
  set(ENV{LSAN_OPTIONS} "${supp}")
  find_program(FFMPEG ffmpeg REQUIRED)
  execute_process(COMMAND ${FFMPEG} -loglevel error -f lavfi -i testsrc=size=64x48:rate=10:duration=1
                          -c:v rawvideo -pix_fmt bgr24 ${WORK_DIR}/in.avi RESULT_VARIABLE rc)
  execute_process(COMMAND ${X_WINDOW_CHECK} vexconv ${moved}/bin/vexconv --gui ${WORK_DIR}/in.avi ${WORK_DIR}/gui.flc
                  TIMEOUT 90 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK_DIR}/gui.flc)
    message(FATAL_ERROR "installed vexconv --gui showed no window (${rc}):\n${out}${err}")
  endif()
  file(GLOB module ${moved}/lib*/libvexutil-gtk.so)
  foreach(case "no display;--unset=DISPLAY;no display" "no module;DISPLAY=:9999;libvexutil-gtk.so")
    list(POP_FRONT case what env says)
    if(what STREQUAL "no module")
      file(REMOVE ${module})
    endif()
    execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=WAYLAND_DISPLAY ${env} ${moved}/bin/vexconv --gui
                            ${WORK_DIR}/in.avi ${WORK_DIR}/none.flc
                    TIMEOUT 20 RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(rc EQUAL 0 OR NOT err MATCHES "vexconv: --gui: no window can be opened: [^\n]*${says}" OR EXISTS ${WORK_DIR}/none.flc)
      message(FATAL_ERROR "installed vexconv --gui with ${what} gave ${rc}, wrote ${WORK_DIR}/none.flc or said:\n${out}${err}")
    endif()
  endforeach()
endif()

find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
file(GLOB pcdirs ${prefix}/lib*/pkgconfig ${prefix}/lib/*/pkgconfig)
list(JOIN pcdirs ":" pcpath)
set(ENV{PKG_CONFIG_PATH} "${pcpath}")
execute_process(COMMAND ${PKG_CONFIG} --cflags --libs vexutil OUTPUT_VARIABLE pc RESULT_VARIABLE rc
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config does not know vexutil (searched ${pcpath})")
endif()
separate_arguments(pc_args UNIX_COMMAND "${pc}")
separate_arguments(flag_args UNIX_COMMAND "${FLAGS}")
execute_process(COMMAND ${C_COMPILER} -std=c99 -pedantic-errors ${flag_args} ${CONSUMER}/consumer.c ${pc_args}
                        -o ${WORK_DIR}/pc_consumer RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config consumer failed to build:\n${err}")
endif()
string(REGEX MATCH "-L([^ ]+)" _ "${pc}")
set(ENV{LD_LIBRARY_PATH} "${CMAKE_MATCH_1}")
execute_process(COMMAND ${WORK_DIR}/pc_consumer RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pkg-config consumer failed")
endif()

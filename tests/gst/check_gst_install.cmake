# cmake -DBUILD_DIR=... -DWORK_DIR=... -DPLUGIN_DIR=... -DSAMPLE=... [-DPRELOAD=...] -P check_gst_install.cmake
set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix} RESULT_VARIABLE rc OUTPUT_QUIET)
foreach(f ${PLUGIN_DIR}/libgstvexutil.so share/mime/packages/vexutil.xml share/thumbnailers/vexthumb.thumbnailer
          bin/vexthumb)
  if(NOT rc EQUAL 0 OR IS_ABSOLUTE "${PLUGIN_DIR}" OR NOT EXISTS "${prefix}/${f}")
    message(FATAL_ERROR "cmake --install gave ${rc}; ${f} is not installed below the prefix")
  endif()
endforeach()
# The installed plugin, with the installed library found through its RPATH
# (no system plugin is scanned); the installed thumbnailer.
# Under the sanitizers gst-inspect-1.0 needs their runtime preloaded.
execute_process(COMMAND env GST_PLUGIN_PATH=${prefix}/${PLUGIN_DIR} GST_PLUGIN_SYSTEM_PATH_1_0= "LD_PRELOAD=${PRELOAD}"
                        ASAN_OPTIONS=detect_leaks=0 GST_REGISTRY=${WORK_DIR}/registry.bin
                        timeout 60 gst-inspect-1.0 vextolmdec
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
execute_process(COMMAND ${prefix}/bin/vexthumb -s 64 ${SAMPLE} ${WORK_DIR}/thumb.png RESULT_VARIABLE thumb)
if(NOT rc EQUAL 0 OR NOT out MATCHES "Filename +${prefix}/${PLUGIN_DIR}/libgstvexutil.so" OR NOT thumb EQUAL 0
   OR NOT EXISTS ${WORK_DIR}/thumb.png)
  message(FATAL_ERROR "the installed plugin (${rc}) or vexthumb (${thumb}) failed:\n${out}${err}")
endif()

# Helpers shared by the family folders.

# vex_add_family_dirs([EVERY] [OTHER <folder>...])
# Adds the <family> folders of the current source dir, in VEX_FAMILIES
# order. With EVERY (the library itself) each listed family must have a
# folder with a CMakeLists.txt. The mirrors (tests, testkit, fuzz, bench)
# need not cover every family, but each folder they have must be a listed
# family (or one of OTHER) with a CMakeLists.txt, so a misspelt or
# forgotten folder stops the configuration instead of being skipped.
function(vex_add_family_dirs)
  cmake_parse_arguments(F "EVERY" "" "OTHER" ${ARGN})
  file(GLOB entries LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}/*")
  foreach(entry IN LISTS entries)
    if(IS_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}/${entry}" AND NOT entry IN_LIST VEX_FAMILIES
       AND NOT entry IN_LIST F_OTHER)
      message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${entry} is not a family of VEX_FAMILIES")
    endif()
  endforeach()
  foreach(family IN LISTS VEX_FAMILIES)
    set(dir "${CMAKE_CURRENT_SOURCE_DIR}/${family}")
    if(EXISTS "${dir}/CMakeLists.txt")
      add_subdirectory(${family})
    elseif(F_EVERY OR IS_DIRECTORY "${dir}")
      message(FATAL_ERROR "family '${family}' has no ${dir}/CMakeLists.txt")
    endif()
  endforeach()
endfunction()

# Seconds the longest suites take at -j2 (measured on a two-core machine).
# CTest starts the costliest entries first, but learns their costs only
# from an earlier run: a fresh build dir (as in CI) would run them in the
# order of the tree and end on a long one alone (85 s instead of 71 s).
set(VEX_SUITE_COSTS "GtkFront=11,Conversions=11,Soak=9,Threads=7,WriteFaults=6,Tools=6,PalettePictures=5,\
GfileAnalysed=5,PaletteReduce=4,OgfileOutput=4,Streams/ColourMatrix=3,ReadFaults=3,Vexinfo=2,SoundTools=2,\
PaletteBuild=2,OpenCount=2,GfileKinds=2,GfileBounds=2,ChangedInputs=2,AacTimeline=2,\
python.test_frames=10,python.test_resources=9,python.test_errors=4,python.test_imageio=2,interface.install=5")

# vex_test_cost(<test> <var>): the test's seconds from VEX_SUITE_COSTS, 1
# when it is not listed (for tests added with add_test directly; the
# suites' listing script reads the same table).
function(vex_test_cost test var)
  set(cost 1)
  if(",${VEX_SUITE_COSTS}," MATCHES ",${test}=([0-9]+),")
    set(cost ${CMAKE_MATCH_1})
  endif()
  set(${var} ${cost} PARENT_SCOPE)
endfunction()

# vex_test_code_flags(<target>)
# Test binaries keep line tables only (-g1: a backtrace or a sanitizer
# report still names files and lines) and, where the build optimises,
# -O1: together that halves the compile time of a GoogleTest file, which
# the full -g of its many template instances dominates. The library, the
# testkit and the tools keep the build type's flags. The owner of the
# precompiled headers takes the same flags, as GCC refuses compiled
# headers made with other optimisation settings.
function(vex_test_code_flags target)
  target_compile_options(${target} PRIVATE -g1 $<$<CONFIG:RelWithDebInfo,Release,MinSizeRel>:-O1>)
endfunction()

# vex_add_test(<name> SOURCES ... [LIBS ...])
# One GoogleTest binary per family. After each link its test suites are
# listed, and CTest runs one entry per suite (cmake/gtest_suites.cmake says
# why not one per case): `ctest -R '^Soak$'` runs a suite, and
# `--gtest_filter` picks a case within it.
function(vex_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE vexutil_testkit GTest::gtest_main ${T_LIBS})
  # -pthread as the owner of the compiled headers has it: the headers are
  # refused when a macro such as the _REENTRANT that -pthread defines
  # differs, and the GTK and X libraries bring that flag to some tests.
  target_compile_options(${name} PRIVATE -pthread)
  target_precompile_headers(${name} REUSE_FROM vexutil_test_headers)
  vex_test_code_flags(${name})
  # GCC 12 warns of bounds and overlaps inside libstdc++'s string code that
  # it inlined into a test; headers that come precompiled lose the quiet of
  # system headers, so these known false alarms would stop the build.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${name} PRIVATE -Wno-array-bounds -Wno-stringop-overflow -Wno-restrict)
  endif()
  # The C files (record offsets seen from C) take no C++ headers.
  foreach(source IN LISTS T_SOURCES)
    if(source MATCHES "\\.c$")
      set_source_files_properties(${source} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
  endforeach()
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}")
  # Labelled with the binary's name, so that `ctest -L test_flic` runs one
  # binary's suites (the mutation script runs the mutated family's first).
  set(suites "${CMAKE_CURRENT_BINARY_DIR}/${name}_suites.cmake")
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND "${CMAKE_COMMAND}" "-DBINARY=$<TARGET_FILE:${name}>" "-DOUT=${suites}" "-DLABEL=${name}"
            "-DWORKDIR=${CMAKE_CURRENT_BINARY_DIR}" -DTIMEOUT=60 "-DCOSTS=${VEX_SUITE_COSTS}"
            -P "${PROJECT_SOURCE_DIR}/cmake/gtest_suites.cmake"
    BYPRODUCTS "${suites}" VERBATIM)
  # Relinked (and so listed again) when the listing script changes.
  set_property(TARGET ${name} APPEND PROPERTY LINK_DEPENDS "${PROJECT_SOURCE_DIR}/cmake/gtest_suites.cmake")
  set(include "${CMAKE_CURRENT_BINARY_DIR}/${name}_include.cmake")
  file(WRITE "${include}"
       "if(EXISTS \"${suites}\")\n  include(\"${suites}\")\n"
       "else()\n  add_test(${name}_NOT_BUILT ${name}_NOT_BUILT)\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include}")
endfunction()

# vex_add_fuzz(<name> <source>)
# The target is always built as a replay program that CTest runs over
# fuzz/corpus/<name> (seeds and every crash kept as a regression); with
# VEX_FUZZ it is also built as a libFuzzer binary fuzz_<name>.
function(vex_add_fuzz name source)
  set(corpus "${PROJECT_SOURCE_DIR}/fuzz/corpus/${name}")
  add_executable(replay_${name} ${source} "${PROJECT_SOURCE_DIR}/fuzz/replay_main.cpp")
  target_link_libraries(replay_${name} PRIVATE vexutil_testkit ${ARGN})
  vex_test_code_flags(replay_${name})
  target_include_directories(replay_${name} PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}")
  if(VEX_FUZZ)
    add_executable(fuzz_${name} ${source})
    target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
    target_link_libraries(fuzz_${name} PRIVATE vexutil_testkit ${ARGN})
    target_include_directories(fuzz_${name} PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}")
  endif()
  add_test(NAME fuzz_replay.${name} COMMAND replay_${name} "${corpus}")
  set_tests_properties(fuzz_replay.${name} PROPERTIES LABELS fuzz_replay)
endfunction()

# vex_add_bench(<name> <sources...>)
function(vex_add_bench name)
  add_executable(${name} ${ARGN})
  target_link_libraries(${name} PRIVATE vexutil_testkit benchmark::benchmark)
  target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/src" "${PROJECT_SOURCE_DIR}")
endfunction()

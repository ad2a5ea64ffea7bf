# Build rules shared by every part of the tree.

set(QB_ROOT ${CMAKE_CURRENT_LIST_DIR}/..)
get_filename_component(QB_ROOT ${QB_ROOT} ABSOLUTE)

add_compile_options(-Wall -Wextra -Wno-unused-parameter)

if(WIN32)
  # DWARF 4: winedbg cannot read GCC 12's default DWARF 5 backtraces.
  add_compile_options(-gdwarf-4)
  add_compile_definitions(UNICODE _UNICODE NOMINMAX STRICT WIN32_LEAN_AND_MEAN _WIN32_WINNT=0x0601 WINVER=0x0601)
  # Everything static: the .exe files run with no DLL beside them.
  add_link_options(-static -static-libgcc -static-libstdc++)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QB_ROOT}/scripts/wine-run --dir ${CMAKE_BINARY_DIR}/wine)
  enable_language(RC)
  set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -c 65001")
endif()

if(QB_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined -fno-sanitize-recover=all)
endif()

if(QB_FUZZ)
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds a subfolder that already has its build file; parts land one at a time.
function(qb_add_part dir)
  if(EXISTS ${QB_ROOT}/${dir}/CMakeLists.txt)
    add_subdirectory(${QB_ROOT}/${dir} ${CMAKE_BINARY_DIR}/${dir})
  endif()
endfunction()

macro(qb_add_googletest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
endmacro()

# One test executable per subsystem, one CTest entry per executable: Wine start-up is the cost to avoid.
#   qb_add_test(NAME foundation_tests SOURCES a.cpp b.cpp LIBS qb_foundation [LABELS gui] [TIMEOUT 300])
function(qb_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${T_NAME} PRIVATE ${QB_ROOT})
  add_test(NAME ${T_NAME} COMMAND ${T_NAME} --gtest_brief=1)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  # Windows on one display share the focus and the foreground: such tests run one at a time.
  if("gui" IN_LIST T_LABELS)
    set_property(TEST ${T_NAME} APPEND PROPERTY RESOURCE_LOCK desktop)
  endif()
endfunction()

# A libFuzzer target that CTest runs for a bounded time over its seed corpus (kept in the repo, never written).
#   qb_add_fuzzer(NAME knot_parse SOURCES fuzz.cpp LIBS qb_foundation CORPUS dir [SECONDS 30] [DICT file])
# Inputs run up to 64 KB, so deep nesting and large counts are in reach.
function(qb_add_fuzzer)
  cmake_parse_arguments(F "" "NAME;CORPUS;SECONDS;DICT" "SOURCES;LIBS" ${ARGN})
  set(dict "")
  if(F_DICT)
    set(dict "-dict='${F_DICT}'")
  endif()
  if(NOT F_SECONDS)
    set(F_SECONDS 30)
  endif()
  add_executable(fuzz_${F_NAME} ${F_SOURCES})
  target_link_libraries(fuzz_${F_NAME} PRIVATE ${F_LIBS})
  target_include_directories(fuzz_${F_NAME} PRIVATE ${QB_ROOT})
  target_link_options(fuzz_${F_NAME} PRIVATE -fsanitize=fuzzer)
  set(work ${CMAKE_CURRENT_BINARY_DIR}/corpus_${F_NAME})
  add_test(NAME fuzz_${F_NAME}
    COMMAND ${CMAKE_COMMAND} -E env ASAN_OPTIONS=detect_leaks=1
      sh -c "mkdir -p '${work}' && exec '$<TARGET_FILE:fuzz_${F_NAME}>' -max_total_time=${F_SECONDS} -max_len=65536 ${dict} -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 -close_fd_mask=1 '${work}' '${F_CORPUS}'")
  set_tests_properties(fuzz_${F_NAME} PROPERTIES LABELS fuzz TIMEOUT 300)
endfunction()

# windres reports no dependencies, so a changed picture or sound would not rebuild the resources that embed it.
# Every target's .rc files get the files they name (and the .rc files they include) as object dependencies.
function(qb_rc_inputs rc out)
  get_filename_component(dir ${rc} DIRECTORY)
  file(STRINGS ${rc} lines REGEX "\"[^\"]+\\.[A-Za-z0-9]+\"")
  set(found "")
  foreach(line IN LISTS lines)
    string(REGEX MATCHALL "\"[^\"]+\\.[A-Za-z0-9]+\"" names "${line}")
    foreach(name IN LISTS names)
      string(REPLACE "\"" "" name "${name}")
      get_filename_component(path ${name} ABSOLUTE BASE_DIR ${dir})
      if(EXISTS ${path} AND NOT IS_DIRECTORY ${path})
        list(APPEND found ${path})
        if(path MATCHES "\\.rc$")
          qb_rc_inputs(${path} nested)
          list(APPEND found ${nested})
        endif()
      endif()
    endforeach()
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

function(qb_track_resources dir)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(sources ${target} SOURCES)
    get_target_property(source_dir ${target} SOURCE_DIR)
    foreach(source IN LISTS sources)
      if(source MATCHES "\\.rc$")
        get_filename_component(rc ${source} ABSOLUTE BASE_DIR ${source_dir})
        qb_rc_inputs(${rc} inputs)
        set_property(DIRECTORY ${QB_ROOT} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rc})
        if(inputs)
          set_source_files_properties(${rc} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS "${inputs}")
        endif()
      endif()
    endforeach()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    qb_track_resources(${subdir})
  endforeach()
endfunction()

# A system library loaded on the first call into it rather than at the process start: under Wine every library
# loaded and started before the first window costs the start milliseconds. Gives the target qb_delay_<name>.
#   qb_delay_import(wininet wininet.dll)
function(qb_delay_import name dll)
  find_library(QB_IMPORT_${name} ${name} REQUIRED)
  find_program(QB_DLLTOOL NAMES x86_64-w64-mingw32-dlltool REQUIRED)
  set(output ${CMAKE_BINARY_DIR}/delay/lib${name}_delay.a)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/delay
    COMMAND ${CMAKE_COMMAND} -DNM=${CMAKE_NM} -DDLLTOOL=${QB_DLLTOOL} -DSOURCE=${QB_IMPORT_${name}} -DDLL=${dll}
      -DOUTPUT=${output} -P ${QB_ROOT}/cmake/DelayImportLib.cmake
    DEPENDS ${QB_ROOT}/cmake/DelayImportLib.cmake
    VERBATIM)
  add_custom_target(qb_delay_${name}_lib DEPENDS ${output})
  add_library(qb_delay_${name} STATIC IMPORTED GLOBAL)
  set_target_properties(qb_delay_${name} PROPERTIES IMPORTED_LOCATION ${output})
  add_dependencies(qb_delay_${name} qb_delay_${name}_lib)
endfunction()

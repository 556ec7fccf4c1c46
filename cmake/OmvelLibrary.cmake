# omvel_library(NAME [DEPENDS lib...] [TEST_DEPENDS lib...])
#
# Builds the folder's sources into the static library omvel_NAME:
#   *.cpp             library sources
#   *_test.cpp        GoogleTest sources of the folder's test binary NAME_tests
#   *_testchild.cpp   one small program each, built into bin/testchild/, for
#                     tests that need a real child process; the test binary
#                     finds them through the macro OMVEL_TESTCHILD_DIR.
#   *_main.cpp        not picked up here: a folder that builds programs adds
#                     them itself with add_executable.
# New files are found on the next build (CONFIGURE_DEPENDS), so adding a file
# never means editing a CMakeLists.txt.
function(omvel_library NAME)
  cmake_parse_arguments(ARG "" "" "DEPENDS;TEST_DEPENDS" ${ARGN})
  file(GLOB all_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(lib_sources "")
  set(test_sources "")
  set(child_sources "")
  foreach(src ${all_sources})
    if(src MATCHES "_test\\.cpp$")
      list(APPEND test_sources ${src})
    elseif(src MATCHES "_testchild\\.cpp$")
      list(APPEND child_sources ${src})
    elseif(src MATCHES "_main\\.cpp$")
    else()
      list(APPEND lib_sources ${src})
    endif()
  endforeach()

  set(target omvel_${NAME})
  if(lib_sources)
    add_library(${target} STATIC ${lib_sources})
    target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} Threads::Threads)
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${target} INTERFACE ${ARG_DEPENDS} Threads::Threads)
  endif()

  set(child_dir ${CMAKE_BINARY_DIR}/bin/testchild)
  set(child_targets "")
  foreach(src ${child_sources})
    get_filename_component(stem ${src} NAME_WE)
    add_executable(${stem} ${src})
    target_link_libraries(${stem} PRIVATE ${target})
    set_target_properties(${stem} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${child_dir})
    list(APPEND child_targets ${stem})
  endforeach()

  if(test_sources)
    add_executable(${NAME}_tests ${test_sources})
    target_link_libraries(${NAME}_tests PRIVATE ${target} ${ARG_TEST_DEPENDS}
                          GTest::gtest GTest::gmock GTest::gtest_main)
    target_compile_definitions(${NAME}_tests PRIVATE
      OMVEL_TESTCHILD_DIR="${child_dir}"
      OMVEL_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
      OMVEL_BIN_DIR="${CMAKE_BINARY_DIR}/bin")
    if(child_targets)
      add_dependencies(${NAME}_tests ${child_targets})
    endif()
    gtest_discover_tests(${NAME}_tests DISCOVERY_TIMEOUT 60
                         PROPERTIES TIMEOUT 300 LABELS ${NAME})
  endif()
endfunction()

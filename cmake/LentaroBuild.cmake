# Project-wide compiler settings and helpers.

if(LENTARO_SANITIZER STREQUAL "asan")
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
elseif(LENTARO_SANITIZER STREQUAL "tsan")
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
elseif(NOT LENTARO_SANITIZER STREQUAL "")
  message(FATAL_ERROR "LENTARO_SANITIZER must be empty, asan or tsan")
endif()

option(LENTARO_WERROR "Treat compiler warnings as errors (CI)" OFF)

# Warnings on every target of ours; third-party headers come in as system
# includes through their imported targets.
function(lentaro_target_defaults target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                           -Wold-style-cast -Wcast-align -Wnull-dereference)
  if(LENTARO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  if(LENTARO_BUILD_APP)
    target_compile_definitions(${target} PRIVATE QT_NO_KEYWORDS QT_USE_QSTRINGBUILDER)
  endif()
endfunction()

# lentaro_add_gtest(NAME name SOURCES ... LIBS ... [QT])
# One test executable; QT gives it a QApplication main on the offscreen
# platform, otherwise GoogleTest's own main.
function(lentaro_add_gtest)
  cmake_parse_arguments(T "QT" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  lentaro_target_defaults(${T_NAME})
  target_compile_options(${T_NAME} PRIVATE -Wno-old-style-cast)
  set_target_properties(${T_NAME} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  if(T_QT)
    target_link_libraries(${T_NAME} PRIVATE lentaro_test_support_qt ${T_LIBS} GTest::gtest GTest::gmock)
  else()
    target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  endif()
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  gtest_discover_tests(${T_NAME}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  # The environment goes on through a script that ctest runs after the
  # discovered tests are defined: passed through PROPERTIES above, a value
  # holding ";" is split into separate properties and only its first
  # variable would be set.
  set(_env_script ${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_environment.cmake)
  file(WRITE ${_env_script}
    "foreach(_test IN LISTS ${T_NAME}_TESTS)\n"
    "  set_tests_properties(\"\${_test}\" PROPERTIES ENVIRONMENT \"QT_QPA_PLATFORM=offscreen;LENTARO_APP_DIR=${LENTARO_APP_DIR};LENTARO_TEST_DATA=${CMAKE_BINARY_DIR}/testdata\")\n"
    "endforeach()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${_env_script})
endfunction()

# One static library per source area and one GoogleTest executable per test area. A new area is
# one line in src/CMakeLists.txt and one in tests/CMakeLists.txt; files are picked up by glob.

set(VESK_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)

# A test case's time limit; sanitizer builds run several times slower (and loop the teardown
# stress test more often).
if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
  set(VESK_TEST_TIMEOUT 1800)
else()
  set(VESK_TEST_TIMEOUT 120)
endif()

# vesk_add_area(<area> DEPS <targets...>) builds src/<area>/*.cpp into the static library vesk_<area>.
function(vesk_add_area AREA)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/src/${AREA}/*.cpp"
    "${PROJECT_SOURCE_DIR}/src/${AREA}/*.h")
  list(FILTER _sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT _sources)
    # An area whose first files have not landed yet still links.
    set(_placeholder "${CMAKE_CURRENT_BINARY_DIR}/vesk_${AREA}_empty.cpp")
    file(WRITE "${_placeholder}" "namespace vesk { void vesk_${AREA}_area_placeholder() {} }\n")
    set(_sources "${_placeholder}")
  endif()
  add_library(vesk_${AREA} STATIC ${_sources})
  target_include_directories(vesk_${AREA} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(vesk_${AREA} PRIVATE ${VESK_WARNINGS})
  target_link_libraries(vesk_${AREA} PUBLIC ${ARG_DEPS})
endfunction()

# vesk_add_tests(<area> DEPS <targets...>) builds tests/<area>/*.cpp into vesk_<area>_tests and
# registers every test case with CTest. Discovery runs at test time so that GUI test executables
# are listed under the same environment (offscreen platform, session bus) they run in.
function(vesk_add_tests AREA)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS
    "${PROJECT_SOURCE_DIR}/tests/${AREA}/*.cpp"
    "${PROJECT_SOURCE_DIR}/tests/${AREA}/*.h")
  if(NOT _sources)
    return()
  endif()
  add_executable(vesk_${AREA}_tests ${_sources})
  target_compile_options(vesk_${AREA}_tests PRIVATE ${VESK_WARNINGS})
  target_include_directories(vesk_${AREA}_tests PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(vesk_${AREA}_tests PRIVATE ${ARG_DEPS} vesk_testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(vesk_${AREA}_tests
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${AREA}."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${VESK_TEST_TIMEOUT})
endfunction()

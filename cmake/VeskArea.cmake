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

# The source files of src/<folder> or tests/<folder>, less those of the folders inside it that are
# libraries (or test executables) of their own: those are declared first and recorded in <registry>.
function(_vesk_folder_sources OUT ROOT FOLDER REGISTRY)
  file(GLOB_RECURSE _sources CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${ROOT}/${FOLDER}/*.cpp"
    "${PROJECT_SOURCE_DIR}/${ROOT}/${FOLDER}/*.h")
  get_property(_declared GLOBAL PROPERTY ${REGISTRY})
  foreach(_other ${_declared})
    string(FIND "${_other}/" "${FOLDER}/" _inner)
    string(FIND "${FOLDER}/" "${_other}/" _outer)
    if(_inner EQUAL 0)
      list(FILTER _sources EXCLUDE REGEX "/${ROOT}/${_other}/")
    elseif(_outer EQUAL 0)
      message(FATAL_ERROR "${ROOT}/${FOLDER} is declared after ${ROOT}/${_other}, which would take its files")
    endif()
  endforeach()
  set_property(GLOBAL APPEND PROPERTY ${REGISTRY} "${FOLDER}")
  set(${OUT} ${_sources} PARENT_SCOPE)
endfunction()

# vesk_add_area(<folder> DEPS <targets...>) builds src/<folder>/*.cpp into the static library
# vesk_<folder>, with "_" for "/" (src/platform/ui is vesk_platform_ui). A folder inside another
# area's folder is a library of its own when it is declared before that area.
function(vesk_add_area AREA)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  string(REPLACE "/" "_" _name "${AREA}")
  _vesk_folder_sources(_sources src "${AREA}" VESK_AREA_FOLDERS)
  list(FILTER _sources EXCLUDE REGEX "/main\\.cpp$")
  if(NOT _sources)
    # An area whose first files have not landed yet still links.
    set(_placeholder "${CMAKE_CURRENT_BINARY_DIR}/vesk_${_name}_empty.cpp")
    file(WRITE "${_placeholder}" "namespace vesk { void vesk_${_name}_area_placeholder() {} }\n")
    set(_sources "${_placeholder}")
  endif()
  add_library(vesk_${_name} STATIC ${_sources})
  target_include_directories(vesk_${_name} PUBLIC "${PROJECT_SOURCE_DIR}/src")
  target_compile_options(vesk_${_name} PRIVATE ${VESK_WARNINGS})
  target_link_libraries(vesk_${_name} PUBLIC ${ARG_DEPS})
endfunction()

# vesk_add_tests(<folder> DEPS <targets...>) builds tests/<folder>/*.cpp into vesk_<folder>_tests
# (again "_" for "/", and inner folders declared first are left out) and registers every test case
# with CTest. Discovery runs at test time so that GUI test executables are listed under the same
# environment (offscreen platform, session bus) they run in.
function(vesk_add_tests AREA)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  string(REPLACE "/" "_" _name "${AREA}")
  _vesk_folder_sources(_sources tests "${AREA}" VESK_TEST_FOLDERS)
  if(NOT _sources)
    return()
  endif()
  add_executable(vesk_${_name}_tests ${_sources})
  target_compile_options(vesk_${_name}_tests PRIVATE ${VESK_WARNINGS})
  target_include_directories(vesk_${_name}_tests PRIVATE "${PROJECT_SOURCE_DIR}/tests")
  target_link_libraries(vesk_${_name}_tests PRIVATE ${ARG_DEPS} vesk_testsupport GTest::gtest GTest::gmock)
  gtest_discover_tests(vesk_${_name}_tests
    DISCOVERY_MODE PRE_TEST
    TEST_PREFIX "${AREA}."
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT ${VESK_TEST_TIMEOUT})
endfunction()

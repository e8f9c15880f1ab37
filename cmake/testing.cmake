# GoogleTest: Debian's libgtest-dev on the host; for Windows, built here from Debian's googletest
# source package with the cross toolchain.
if(BRANNOCK_FUZZ)
  return()
endif()
if(WIN32)
  set(BRANNOCK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian googletest)")
  if(NOT EXISTS ${BRANNOCK_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${BRANNOCK_GTEST_SOURCE}: run scripts/bootstrap")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(${BRANNOCK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
else()
  find_package(GTest REQUIRED)
endif()
include(GoogleTest)

# brannock_test(name SOURCES ... LIBS ...): one test program, one CTest entry per test case.
function(brannock_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  brannock_warnings(${name})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    BRANNOCK_SOURCE_DIR="${PROJECT_SOURCE_DIR}" BRANNOCK_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # Windows test programs are listed when ctest runs, not at build time, so building never
  # needs Wine (its first start in a new prefix takes a while).
  if(WIN32)
    set(mode PRE_TEST)
  else()
    set(mode POST_BUILD)
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE ${mode} DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT 300)
endfunction()

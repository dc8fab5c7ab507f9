# Test executables are Windows programs: CTest runs them through Wine
# (CMAKE_CROSSCOMPILING_EMULATOR, set by the toolchain invocation in scripts/).
find_package(GTest REQUIRED)
include(GoogleTest)

# pw_add_gtest(name SOURCES files... [LIBS targets...] [PROPERTIES key value...])
function(pw_add_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS;PROPERTIES" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/src ${PROJECT_SOURCE_DIR}/include
                                             ${PROJECT_SOURCE_DIR}/tests)
  # Where the tests find the tree and the build (host paths, as Wine maps them).
  target_compile_definitions(${name} PRIVATE PW_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
                                             PW_BINARY_DIR="${PROJECT_BINARY_DIR}")
  # Listing happens when the tests run, so the build never starts Wine.
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES ${T_PROPERTIES})
endfunction()

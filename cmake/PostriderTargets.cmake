# One small helper per kind of target.

set(POSTRIDER_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wno-missing-field-initializers)

# Sources of one core layer: every .cpp in the folder goes into postrider_core.
function(postrider_core_layer folder)
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp")
  target_sources(postrider_core PRIVATE ${_sources})
endfunction()

# One test executable per folder of tests/, holding every *_test.cpp there;
# each test case is registered with CTest on its own.
function(postrider_test_folder folder)
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp")
  if(NOT _sources)
    return()
  endif()
  set(_target ${folder}_tests)
  add_executable(${_target} ${_sources})
  target_compile_options(${_target} PRIVATE ${POSTRIDER_WARNINGS})
  target_link_libraries(${_target} PRIVATE postrider_core postrider_test_support GTest::gtest GTest::gtest_main)
  # Tests that run the command-line program find it through POSTRIDER_CLI.
  add_dependencies(${_target} postrider-cli)
  gtest_discover_tests(${_target}
    WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
    PROPERTIES
      ENVIRONMENT "POSTRIDER_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
      ENVIRONMENT_MODIFICATION "POSTRIDER_CLI=set:$<TARGET_FILE:postrider-cli>"
    DISCOVERY_TIMEOUT 60)
endfunction()

# A benchmark: prints figures, never part of the test run.
function(postrider_benchmark name)
  add_executable(${name} ${ARGN})
  target_compile_options(${name} PRIVATE ${POSTRIDER_WARNINGS})
  target_link_libraries(${name} PRIVATE postrider_core)
endfunction()

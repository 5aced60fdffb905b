# One small helper per kind of target.

set(POSTRIDER_WARNINGS -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion
  -Wno-missing-field-initializers)

# One layer of the core as a static library, postrider_<layer>, from the
# sources named (in src/<layer>/) and linking the layers and libraries named.
# Headers are included as "<layer>/name.h", and a layer's include root holds
# its own folder alone (a link into src/), so a layer sees only its own
# headers and those of the layers it links: a wrong include (smtp/ including
# send/, anything in the core including Qt) fails the build.
function(postrider_core_library layer)
  cmake_parse_arguments(_layer "" "" "SOURCES;LINK" ${ARGN})
  set(_target postrider_${layer})
  list(TRANSFORM _layer_SOURCES PREPEND "${CMAKE_CURRENT_SOURCE_DIR}/${layer}/")
  add_library(${_target} STATIC ${_layer_SOURCES})
  set(_root "${CMAKE_CURRENT_BINARY_DIR}/layers/${layer}")
  file(MAKE_DIRECTORY "${_root}")
  file(CREATE_LINK "${CMAKE_CURRENT_SOURCE_DIR}/${layer}" "${_root}/${layer}" SYMBOLIC)
  target_include_directories(${_target} PUBLIC "${_root}")
  target_compile_options(${_target} PRIVATE ${POSTRIDER_WARNINGS})
  target_link_libraries(${_target} PRIVATE ${_layer_LINK})
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

# One desktop layer (src/views, src/wizard, src/app): every .cpp of the folder
# but those named in EXCLUDE, as a static library on Qt and the core.
function(postrider_qt_layer target folder)
  cmake_parse_arguments(_layer "" "" "EXCLUDE;LINK" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*.cpp")
  foreach(_excluded ${_layer_EXCLUDE})
    list(REMOVE_ITEM _sources "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/${_excluded}")
  endforeach()
  if(NOT _sources)
    return()
  endif()
  add_library(${target} STATIC ${_sources})
  set_target_properties(${target} PROPERTIES AUTOMOC ON)
  target_compile_options(${target} PRIVATE ${POSTRIDER_WARNINGS})
  target_include_directories(${target} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${target} PUBLIC postrider_core Qt6::Widgets Qt6::Svg ${_layer_LINK})
endfunction()

# Qt tests of one folder of tests/: each *_test.cpp is a program of its own
# (QTEST_MAIN), run by CTest under the offscreen platform.
function(postrider_qt_test_folder folder)
  cmake_parse_arguments(_tests "" "" "LINK" ${ARGN})
  file(GLOB _sources CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/${folder}/*_test.cpp")
  foreach(_source ${_sources})
    get_filename_component(_name ${_source} NAME_WE)
    set(_target ${folder}_${_name})
    add_executable(${_target} ${_source})
    set_target_properties(${_target} PROPERTIES AUTOMOC ON)
    target_compile_options(${_target} PRIVATE ${POSTRIDER_WARNINGS})
    target_link_libraries(${_target} PRIVATE ${_tests_LINK} postrider_qt_test_support Qt6::Test)
    # A desktop test may run the command-line program beside the window.
    add_dependencies(${_target} postrider-cli)
    add_test(NAME ${folder}.${_name} COMMAND ${_target})
    set_tests_properties(${folder}.${_name} PROPERTIES
      WORKING_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;POSTRIDER_SOURCE_DIR=${PROJECT_SOURCE_DIR};POSTRIDER_CLI=$<TARGET_FILE:postrider-cli>")
  endforeach()
endfunction()

# quorvex_library(<name> [DEPS <targets>...])
# One static library made of every source in the calling directory, so that
# adding a class means adding its two files and nothing else.
function(quorvex_library name)
  cmake_parse_arguments(ARG "" "" "DEPS" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(sources)
    add_library(${name} STATIC ${sources})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}/generated)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

# quorvex_test(<name> DEPS <targets>... [LABELS <labels>...] [SERVERS])
# One GoogleTest program made of every test source in the calling directory;
# each test case becomes a ctest test, run under Wine. SERVERS: every test
# needs the local test servers (tests/support/LocalServer.h), which ctest
# then starts first and stops last.
function(quorvex_test name)
  cmake_parse_arguments(ARG "SERVERS;DISPLAY" "" "DEPS;LABELS" ${ARGN})
  set(server_properties)
  if(ARG_SERVERS)
    set(server_properties FIXTURES_REQUIRED quorvex_servers)
  endif()
  # Tests that open windows, take the focus or move the pointer share the
  # one display: never two of them at once.
  if(ARG_DISPLAY)
    list(APPEND server_properties RESOURCE_LOCK display)
  endif()
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  if(NOT sources)
    return()
  endif()
  add_executable(${name} ${sources})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} quorvex_testsupport GTest::gtest)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    # EngineChild.* are the bodies of child processes that other tests start
    # by name, not tests of their own.
    TEST_FILTER "-EngineChild.*"
    # One variable per property: a list value would be split apart on its
    # way through the discovery script.
    PROPERTIES LABELS "${ARG_LABELS}" ${server_properties}
               ENVIRONMENT "QUORVEX_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
               ENVIRONMENT_MODIFICATION "QUORVEX_BINARY_DIR=set:${PROJECT_BINARY_DIR}")
endfunction()

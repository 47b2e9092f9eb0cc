# kx_add_test(NAME <name> SOURCES <files...> LIBS <targets...>)
# Builds one GoogleTest executable and registers its cases with CTest.
function(kx_add_test)
  cmake_parse_arguments(T "" "NAME" "SOURCES;LIBS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kx_testsupport GTest::gtest GTest::gtest_main)
  # Tests that read the shipped data find it here (__FILE__ may be relative
  # when a compiler cache rewrites paths).
  target_compile_definitions(${T_NAME} PRIVATE KX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;KX_TEST_PROGRAM_DIR=${KX_PROGRAM_DIR}")
endfunction()

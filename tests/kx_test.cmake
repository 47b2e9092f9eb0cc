# Every test carries exactly one tier label:
#   unit    seconds each; no root, no QEMU, no loop devices (the default)
#   system  whole jobs, disks and loop devices, QEMU, root
#   fuzz    a fuzz harness's replay (kx_add_fuzz gives it)
#   stress  minutes of load
# `ctest -L unit` is the fast tier; `./test` runs every tier. Other labels
# (valgrind) may come beside the tier.
set(KX_TEST_TIERS unit system fuzz stress)
# Tests that start kestrunex-cli or the wizard take the program's
# machine-wide single-instance lock: within a CTest run they take turns on
# this resource (and on nothing else).
set(KX_JOB_LOCK kestrunex_job)

# kx_test_labels(<out> <tier> <extra labels...>): the tier (unit when
# empty), checked, followed by the extra labels.
function(kx_test_labels out tier)
  if(NOT tier)
    set(tier unit)
  endif()
  if(NOT tier IN_LIST KX_TEST_TIERS)
    message(FATAL_ERROR "test tier '${tier}' is none of: ${KX_TEST_TIERS}")
  endif()
  foreach(label IN LISTS ARGN)
    if(label IN_LIST KX_TEST_TIERS)
      message(FATAL_ERROR "'${label}' is a tier: give it as TIER, a test has exactly one")
    endif()
  endforeach()
  set(${out} ${tier} ${ARGN} PARENT_SCOPE)
endfunction()

# kx_add_test(NAME <name> SOURCES <files...> LIBS <targets...>
#             [TIER <tier>] [SYSTEM_CASES <gtest patterns...>] [JOB]
#             [PROPERTIES <name> <value>...])
# Builds one GoogleTest executable and registers its cases with CTest, each
# named Suite.Case (parameterised: Prefix/Suite.Case/CaseName, never the
# printed value). The cases matching SYSTEM_CASES (Suite.Case, * and ? as
# in --gtest_filter) are in the system tier, the others in TIER. JOB: its
# cases start a job (see KX_JOB_LOCK). Property values are single words:
# the discovery splits lists.
function(kx_add_test)
  cmake_parse_arguments(T "JOB" "NAME;TIER" "SOURCES;LIBS;SYSTEM_CASES;PROPERTIES" ${ARGN})
  kx_test_labels(tier "${T_TIER}")
  set(lock)
  if(T_JOB)
    set(lock RESOURCE_LOCK ${KX_JOB_LOCK})
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} kx_testsupport GTest::gtest GTest::gtest_main)
  # Tests that read the shipped data find it here (__FILE__ may be relative
  # when a compiler cache rewrites paths).
  target_compile_definitions(${T_NAME} PRIVATE KX_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  set(filter)
  if(T_SYSTEM_CASES)
    list(JOIN T_SYSTEM_CASES ":" system_cases)
    set(filter TEST_FILTER "-${system_cases}")
    gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES TEST_FILTER "${system_cases}"
      PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS system ${lock} ${T_PROPERTIES})
  endif()
  gtest_discover_tests(${T_NAME} DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES ${filter}
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen LABELS ${tier} ${lock} ${T_PROPERTIES})
endfunction()

# kx_add_script_test(NAME <name> COMMAND <command...> [TIER <tier>] [LABELS <labels...>]
#                    [JOB] [TIMEOUT <seconds>] [PROPERTIES <name> <value>...])
# A test that is one command (a shell script, a cmake -P check). Its exit
# status 77 means skipped (what it needs, root for one, is missing).
function(kx_add_script_test)
  cmake_parse_arguments(S "JOB" "NAME;TIER;TIMEOUT" "COMMAND;LABELS;PROPERTIES" ${ARGN})
  kx_test_labels(labels "${S_TIER}" ${S_LABELS})
  add_test(NAME ${S_NAME} COMMAND ${S_COMMAND})
  set_tests_properties(${S_NAME} PROPERTIES LABELS "${labels}" SKIP_RETURN_CODE 77)
  if(S_TIMEOUT)
    set_tests_properties(${S_NAME} PROPERTIES TIMEOUT ${S_TIMEOUT})
  endif()
  if(S_JOB)
    set_tests_properties(${S_NAME} PROPERTIES RESOURCE_LOCK ${KX_JOB_LOCK})
  endif()
  if(S_PROPERTIES)
    set_tests_properties(${S_NAME} PROPERTIES ${S_PROPERTIES})
  endif()
endfunction()

# A test executable whose program folder is its own: the shipped "OS" and
# "Other" folders and "efi" (the stick's UEFI loader, made at build time by
# tools/bootfiles) copied beside it after each build.
function(kx_test_program_folder target)
  foreach(folder OS Other)
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -E copy_directory ${PROJECT_SOURCE_DIR}/data/${folder}
              $<TARGET_FILE_DIR:${target}>/${folder})
  endforeach()
  add_dependencies(${target} bootfiles)
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E copy_directory ${KX_PROGRAM_DIR}/efi $<TARGET_FILE_DIR:${target}>/efi)
endfunction()

# kx_add_fuzz(NAME <fuzz_reader> SOURCES <files...> LIBS <targets...> [CORPUS <dir>])
#
# One harness per reader of outside input. The sources define
#   KX_FUZZ_TARGET { ... }   the entry point: feeds data/size to the reader
#   KX_FUZZ_SEEDS { ... }    good inputs made by code (seeds.push_back(...))
# (see tests/fuzz/kxfuzz.h). Two programs come of it:
#   <NAME>           the replay driver, always: replays the seeds, damaged
#                    variants of them made deterministically (cuts, flipped
#                    and replaced bytes, repeated chunks) and every file of
#                    CORPUS; registered with CTest, it runs in seconds.
#   <NAME>_libfuzzer with clang (KX_LIBFUZZER on): the libFuzzer program
#                    that scripts/fuzz runs for minutes.
# Harnesses may live in any test folder; this file is included before them.
set(KX_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  option(KX_LIBFUZZER "Build libFuzzer programs beside the replay drivers" ON)
else()
  set(KX_LIBFUZZER OFF)
endif()

add_library(kx_fuzzreplay STATIC ${KX_FUZZ_DIR}/replaydriver.cpp ${KX_FUZZ_DIR}/mutations.cpp)
target_include_directories(kx_fuzzreplay PUBLIC ${KX_FUZZ_DIR})

function(kx_add_fuzz)
  cmake_parse_arguments(F "" "NAME;CORPUS" "SOURCES;LIBS" ${ARGN})
  add_executable(${F_NAME} ${F_SOURCES})
  target_include_directories(${F_NAME} PRIVATE ${KX_FUZZ_DIR})
  target_link_libraries(${F_NAME} PRIVATE ${F_LIBS} kx_fuzzreplay)
  set(corpus)
  if(F_CORPUS)
    get_filename_component(corpus ${F_CORPUS} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
  endif()
  add_test(NAME fuzz.${F_NAME}.ReplaysDamagedInputsWithoutACrash COMMAND ${F_NAME} ${corpus})
  set_tests_properties(fuzz.${F_NAME}.ReplaysDamagedInputsWithoutACrash PROPERTIES TIMEOUT 120 LABELS fuzz
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
  if(KX_LIBFUZZER)
    add_executable(${F_NAME}_libfuzzer ${F_SOURCES} ${KX_FUZZ_DIR}/mutations.cpp)
    target_include_directories(${F_NAME}_libfuzzer PRIVATE ${KX_FUZZ_DIR})
    target_compile_options(${F_NAME}_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${F_NAME}_libfuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${F_NAME}_libfuzzer PRIVATE ${F_LIBS})
    set_target_properties(${F_NAME}_libfuzzer PROPERTIES EXCLUDE_FROM_ALL ON)
  endif()
endfunction()

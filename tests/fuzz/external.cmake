# libFuzzer targets of the external interfaces: the order socket's receive path and the
# command-file reader with its executor.
add_executable(wex_fuzz ${CMAKE_CURRENT_LIST_DIR}/wex_fuzz.cpp)
add_executable(commandfile_fuzz ${CMAKE_CURRENT_LIST_DIR}/commandfile_fuzz.cpp)
foreach(target wex_fuzz commandfile_fuzz)
  target_compile_options(${target} PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
  target_link_options(${target} PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
  target_link_libraries(${target} PRIVATE korvi_core)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endforeach()

# libFuzzer target for the logo file splitter.
add_executable(gif_fuzz ${CMAKE_CURRENT_LIST_DIR}/gif_fuzz.cpp)
target_compile_options(gif_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
target_link_options(gif_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
target_link_libraries(gif_fuzz PRIVATE korvi_core)
target_include_directories(gif_fuzz PRIVATE ${PROJECT_SOURCE_DIR}/tests)

# The escaping of update packages and the client's "@FID" path.
add_executable(escape_fuzz ${CMAKE_CURRENT_LIST_DIR}/escape_fuzz.cpp)
target_compile_options(escape_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
target_link_options(escape_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
target_link_libraries(escape_fuzz PRIVATE korvi_protocol)

add_executable(filetransfer_fuzz ${CMAKE_CURRENT_LIST_DIR}/filetransfer_fuzz.cpp)
target_compile_options(filetransfer_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
target_link_options(filetransfer_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
target_link_libraries(filetransfer_fuzz PRIVATE korvi_core)

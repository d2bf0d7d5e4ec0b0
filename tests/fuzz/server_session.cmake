# libFuzzer target for the game server's handling of one connection's input.
if(TARGET korvi_server_core)
  add_executable(server_session_fuzz ${CMAKE_CURRENT_LIST_DIR}/server_session_fuzz.cpp)
  target_compile_options(server_session_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
  target_link_options(server_session_fuzz PRIVATE -fsanitize=fuzzer${KORVI_FUZZ_SANITIZERS})
  target_link_libraries(server_session_fuzz PRIVATE korvi_server_core)
endif()

# The chat: relaying public and private lines, and its rules.
target_sources(korvi_server_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/chatservice.cpp ${CMAKE_CURRENT_LIST_DIR}/chatservice.h
    ${CMAKE_CURRENT_LIST_DIR}/chatrules.cpp ${CMAKE_CURRENT_LIST_DIR}/chatrules.h
)
target_include_directories(korvi_server_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})

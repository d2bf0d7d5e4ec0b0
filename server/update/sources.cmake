# Sending the update package to older clients.
target_sources(korvi_server_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/updatepublisher.cpp ${CMAKE_CURRENT_LIST_DIR}/updatepublisher.h
)
target_include_directories(korvi_server_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})

# Administration: the command line, the administration commands and the log.
target_sources(korvi_server_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/admin.cpp ${CMAKE_CURRENT_LIST_DIR}/admin.h
    ${CMAKE_CURRENT_LIST_DIR}/participantimport.cpp ${CMAKE_CURRENT_LIST_DIR}/participantimport.h
    ${CMAKE_CURRENT_LIST_DIR}/options.cpp ${CMAKE_CURRENT_LIST_DIR}/options.h
    ${CMAKE_CURRENT_LIST_DIR}/serverlog.cpp ${CMAKE_CURRENT_LIST_DIR}/serverlog.h
)
target_include_directories(korvi_server_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})

# The stores: the game database, participants, trading records, backups.
target_sources(korvi_server_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/gamedatabase.cpp ${CMAKE_CURRENT_LIST_DIR}/gamedatabase.h
    ${CMAKE_CURRENT_LIST_DIR}/participantstore.cpp ${CMAKE_CURRENT_LIST_DIR}/participantstore.h
    ${CMAKE_CURRENT_LIST_DIR}/tradestore.cpp ${CMAKE_CURRENT_LIST_DIR}/tradestore.h
    ${CMAKE_CURRENT_LIST_DIR}/backup.cpp ${CMAKE_CURRENT_LIST_DIR}/backup.h
)
target_include_directories(korvi_server_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})

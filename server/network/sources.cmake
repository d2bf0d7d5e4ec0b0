# The connections: the sockets on Asio (epoll), accepting and greeting clients, sessions and their bounded queues, logins and their limits, password hashing, the address pages and the metrics page.
target_sources(korvi_server_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/gameserver.cpp ${CMAKE_CURRENT_LIST_DIR}/gameserver.h
    ${CMAKE_CURRENT_LIST_DIR}/session.cpp ${CMAKE_CURRENT_LIST_DIR}/session.h
    ${CMAKE_CURRENT_LIST_DIR}/transport.cpp ${CMAKE_CURRENT_LIST_DIR}/transport.h
    ${CMAKE_CURRENT_LIST_DIR}/loginguard.cpp ${CMAKE_CURRENT_LIST_DIR}/loginguard.h
    ${CMAKE_CURRENT_LIST_DIR}/passwordhash.cpp ${CMAKE_CURRENT_LIST_DIR}/passwordhash.h
    ${CMAKE_CURRENT_LIST_DIR}/pricesweep.h
    ${CMAKE_CURRENT_LIST_DIR}/addresspages.cpp ${CMAKE_CURRENT_LIST_DIR}/addresspages.h
    ${CMAKE_CURRENT_LIST_DIR}/metrics.cpp ${CMAKE_CURRENT_LIST_DIR}/metrics.h
    ${CMAKE_CURRENT_LIST_DIR}/shutdownsignals.cpp ${CMAKE_CURRENT_LIST_DIR}/shutdownsignals.h
)
target_include_directories(korvi_server_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})

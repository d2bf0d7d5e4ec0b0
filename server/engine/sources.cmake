# The trading game: instruments, the simulated market, orders, brackets, fills, positions, accounts, the daily close and the messages the engine builds.
target_sources(korvi_server_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/tradingengine.cpp ${CMAKE_CURRENT_LIST_DIR}/tradingengine.h
    ${CMAKE_CURRENT_LIST_DIR}/engineorders.cpp ${CMAKE_CURRENT_LIST_DIR}/enginebrackets.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engineday.cpp ${CMAKE_CURRENT_LIST_DIR}/enginemessages.cpp
    ${CMAKE_CURRENT_LIST_DIR}/engineshared.h ${CMAKE_CURRENT_LIST_DIR}/trading.h
    ${CMAKE_CURRENT_LIST_DIR}/orderallowance.cpp ${CMAKE_CURRENT_LIST_DIR}/orderallowance.h
    ${CMAKE_CURRENT_LIST_DIR}/orderrequest.cpp ${CMAKE_CURRENT_LIST_DIR}/orderrequest.h
    ${CMAKE_CURRENT_LIST_DIR}/messages.cpp ${CMAKE_CURRENT_LIST_DIR}/messages.h
    ${CMAKE_CURRENT_LIST_DIR}/pricesimulator.cpp ${CMAKE_CURRENT_LIST_DIR}/pricesimulator.h
    ${CMAKE_CURRENT_LIST_DIR}/instrumentconfig.cpp ${CMAKE_CURRENT_LIST_DIR}/instrumentconfig.h
)
target_include_directories(korvi_server_core PUBLIC ${CMAKE_CURRENT_LIST_DIR})

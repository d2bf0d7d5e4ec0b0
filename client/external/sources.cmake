target_sources(korvi_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/wexprotocol.cpp ${CMAKE_CURRENT_LIST_DIR}/wexprotocol.h
    ${CMAKE_CURRENT_LIST_DIR}/externalorders.cpp ${CMAKE_CURRENT_LIST_DIR}/externalorders.h
    ${CMAKE_CURRENT_LIST_DIR}/wexinterface.cpp ${CMAKE_CURRENT_LIST_DIR}/wexinterface.h
    ${CMAKE_CURRENT_LIST_DIR}/fileinterface.cpp ${CMAKE_CURRENT_LIST_DIR}/fileinterface.h
    ${CMAKE_CURRENT_LIST_DIR}/externalinterfaces.cpp ${CMAKE_CURRENT_LIST_DIR}/externalinterfaces.h
)
target_sources(korvi_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/externalframe.cpp ${CMAKE_CURRENT_LIST_DIR}/externalframe.h
)

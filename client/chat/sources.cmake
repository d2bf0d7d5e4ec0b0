target_sources(korvi_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/chatroom.cpp ${CMAKE_CURRENT_LIST_DIR}/chatroom.h)
target_sources(korvi_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/chatwindow.cpp ${CMAKE_CURRENT_LIST_DIR}/chatwindow.h
    ${CMAKE_CURRENT_LIST_DIR}/chatcheckbox.cpp ${CMAKE_CURRENT_LIST_DIR}/chatcheckbox.h)

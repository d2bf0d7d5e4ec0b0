target_sources(korvi_core PRIVATE ${CMAKE_CURRENT_LIST_DIR}/brackets.cpp ${CMAKE_CURRENT_LIST_DIR}/brackets.h)
target_sources(korvi_ui PRIVATE ${CMAKE_CURRENT_LIST_DIR}/eingabedialog.cpp ${CMAKE_CURRENT_LIST_DIR}/eingabedialog.h)

# The chart: its logic and drawing in korvi_core (painting needs Qt Gui, not widgets), the
# window in korvi_ui.
target_sources(korvi_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/chartcontrol.cpp ${CMAKE_CURRENT_LIST_DIR}/chartcontrol.h
    ${CMAKE_CURRENT_LIST_DIR}/chartdrawing.cpp ${CMAKE_CURRENT_LIST_DIR}/chartdrawing.h)
target_link_libraries(korvi_core PUBLIC Qt6::Gui)
target_sources(korvi_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/chart.cpp ${CMAKE_CURRENT_LIST_DIR}/chart.h)

# The main window's logic (korvi_core) and its pages and logo (korvi_ui).
target_sources(korvi_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/assetfolders.cpp ${CMAKE_CURRENT_LIST_DIR}/assetfolders.h
    ${CMAKE_CURRENT_LIST_DIR}/colourediting.cpp ${CMAKE_CURRENT_LIST_DIR}/colourediting.h
    ${CMAKE_CURRENT_LIST_DIR}/gifsplit.cpp ${CMAKE_CURRENT_LIST_DIR}/gifsplit.h
    ${CMAKE_CURRENT_LIST_DIR}/logoanimation.cpp ${CMAKE_CURRENT_LIST_DIR}/logoanimation.h
    ${CMAKE_CURRENT_LIST_DIR}/options.cpp ${CMAKE_CURRENT_LIST_DIR}/options.h
    ${CMAKE_CURRENT_LIST_DIR}/translations.cpp ${CMAKE_CURRENT_LIST_DIR}/translations.h
)
target_sources(korvi_ui PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/colourpanel.cpp ${CMAKE_CURRENT_LIST_DIR}/colourpanel.h
    ${CMAKE_CURRENT_LIST_DIR}/elidedlabel.cpp ${CMAKE_CURRENT_LIST_DIR}/elidedlabel.h
    ${CMAKE_CURRENT_LIST_DIR}/logowidget.cpp ${CMAKE_CURRENT_LIST_DIR}/logowidget.h
    ${CMAKE_CURRENT_LIST_DIR}/optionspage.cpp ${CMAKE_CURRENT_LIST_DIR}/optionspage.h
)

# The still logo and the icon are built into the program.
qt_add_resources(korvi_ui korvi_pictures
    PREFIX /korvi
    BASE ${PROJECT_SOURCE_DIR}/assets
    FILES ${PROJECT_SOURCE_DIR}/assets/logo.png ${PROJECT_SOURCE_DIR}/assets/icon.png)

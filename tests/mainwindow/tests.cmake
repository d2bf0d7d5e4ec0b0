korvi_test(mainwindow_tests
    SOURCES mainwindow/gifsplit_test.cpp mainwindow/logo_test.cpp mainwindow/options_test.cpp
            mainwindow/colourediting_test.cpp mainwindow/mainwindow_e2e_test.cpp
            mainwindow/translations_test.cpp
    LIBS korvi_ui)
target_compile_definitions(mainwindow_tests PRIVATE KORVI_ASSETS_DIR="${PROJECT_SOURCE_DIR}/assets")

# Installs the build into a temporary prefix and starts the installed client.
korvi_test(packaging_tests SOURCES mainwindow/packaging_test.cpp LIBS korvi_ui)
target_compile_definitions(packaging_tests PRIVATE
    KORVI_CMAKE="${CMAKE_COMMAND}" KORVI_BUILD_DIR="${CMAKE_BINARY_DIR}")

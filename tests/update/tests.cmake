# Self-update: escaping, the file transfer, the version report, the hand-off, the chain
# against the real server, and the relauncher.
korvi_test(update_tests
    SOURCES update/escaping_test.cpp update/filetransfer_test.cpp update/handoff_test.cpp
            update/update_e2e_test.cpp
    LIBS korvi_core quenby_core)
target_compile_definitions(update_tests PRIVATE
    KORVI_PROJECT_VERSION="${PROJECT_VERSION}" KORVI_QUENBY="$<TARGET_FILE:quenby>")
add_dependencies(update_tests quenby)

korvi_test(quenby_tests SOURCES update/quenby_test.cpp LIBS quenby_core)

if(TARGET korvi_server_core)
    korvi_test(update_server_tests
        SOURCES server/serverprocess.cpp server/serverprocess.h update/publisher_test.cpp
                update/publisher_e2e_test.cpp
        LIBS korvi_server_core)
    target_include_directories(update_server_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/server)
endif()

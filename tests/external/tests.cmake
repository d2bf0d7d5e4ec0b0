korvi_test(external_tests
    SOURCES external/wexprotocol_test.cpp external/wexinterface_test.cpp external/fileinterface_test.cpp
            external/externalframe_test.cpp external/external_e2e_test.cpp
            external/remoteformat_test.cpp
    LIBS korvi_ui korvi_remote_core)
add_dependencies(external_tests korvi-remote)
set_property(TEST external_tests APPEND PROPERTY ENVIRONMENT "KORVI_REMOTE=$<TARGET_FILE:korvi-remote>")

korvi_test(chat_tests
    SOURCES chat/chatroom_test.cpp chat/chatwindow_test.cpp chat/chat_e2e_test.cpp
    LIBS korvi_ui)

korvi_test(chat_server_tests
    SOURCES chat/chatrules_test.cpp chat/chatserver_e2e_test.cpp
            server/serverprocess.cpp server/serverprocess.h
    LIBS korvi_server_core korvi_core)

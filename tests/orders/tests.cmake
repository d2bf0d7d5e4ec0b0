korvi_test(bracket_tests
    SOURCES orders/brackets_test.cpp orders/brackets_e2e_test.cpp
    LIBS korvi_ui)

korvi_test(bracket_tests
    SOURCES orders/brackets_test.cpp
    LIBS korvi_ui)

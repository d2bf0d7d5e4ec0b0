korvi_test(safety_tests
    SOURCES safety/tradingsafety_test.cpp safety/receivesafety_test.cpp
    LIBS korvi_ui)

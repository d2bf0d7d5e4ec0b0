korvi_test(chart_tests SOURCES chart/chart_test.cpp LIBS korvi_ui)

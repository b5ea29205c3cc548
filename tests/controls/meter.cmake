# SPDX-License-Identifier: MIT
# Progress meter tests.
add_executable(test_controls_meter test_meter.cpp)
target_link_libraries(test_controls_meter PRIVATE kavoda_controls_meter kavoda_qt_test_main)
gtest_discover_tests(test_controls_meter PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

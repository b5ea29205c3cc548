# SPDX-License-Identifier: MIT
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/test_led.cpp)
  add_executable(test_controls_led test_led.cpp)
  target_link_libraries(test_controls_led PRIVATE kavoda_controls_led kavoda_qt_test_main)
  gtest_discover_tests(test_controls_led PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

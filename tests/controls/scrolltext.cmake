# SPDX-License-Identifier: MIT
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/test_scrolltext.cpp)
  add_executable(test_controls_scrolltext test_scrolltext.cpp)
  target_link_libraries(test_controls_scrolltext PRIVATE kavoda_controls_scrolltext kavoda_qt_test_main)
  gtest_discover_tests(test_controls_scrolltext PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

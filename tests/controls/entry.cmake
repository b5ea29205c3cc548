# SPDX-License-Identifier: MIT
if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/test_entry.cpp)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  add_executable(test_controls_entry test_entry.cpp)
  target_link_libraries(test_controls_entry PRIVATE kavoda_controls_entry kavoda_qt_test_main Qt6::Test)
  gtest_discover_tests(test_controls_entry PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

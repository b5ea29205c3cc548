# SPDX-License-Identifier: MIT
if(TARGET kavoda_app_secondary)
  add_executable(test_app_secondary test_secondary.cpp)
  target_link_libraries(test_app_secondary PRIVATE kavoda_app_secondary kavoda_qt_test_main
                                                   GTest::gtest)
  gtest_discover_tests(test_app_secondary
    PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endif()

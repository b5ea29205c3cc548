# SPDX-License-Identifier: MIT
# Tests of the application shell. Settings and options need no windows;
# the window tests run on the offscreen platform.
find_package(Qt6 REQUIRED COMPONENTS Test)

add_executable(test_app_shell_settings
  test_IniFile.cpp
  test_Options.cpp
)
target_link_libraries(test_app_shell_settings PRIVATE kavoda_app GTest::gtest_main)
gtest_discover_tests(test_app_shell_settings TEST_PREFIX "test_app_shell.")

add_executable(test_app_shell_windows
  test_HelpTexts.cpp
  test_Main.cpp
  test_Setup.cpp
  test_splash.cpp
  test_Startup.cpp
)
target_link_libraries(test_app_shell_windows PRIVATE kavoda_app kavoda_qt_test_main Qt6::Test)
gtest_discover_tests(test_app_shell_windows TEST_PREFIX "test_app_shell."
                     PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

# Its own main: the application object under test replaces QApplication.
add_executable(test_app_shell_application test_Application.cpp)
target_link_libraries(test_app_shell_application PRIVATE kavoda_app GTest::gtest)
gtest_discover_tests(test_app_shell_application TEST_PREFIX "test_app_shell."
                     PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen)

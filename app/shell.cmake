# SPDX-License-Identifier: MIT
# The application shell: main window, port dialog, splash, settings file,
# options, and the kavoda program itself.
find_package(CLI11 QUIET CONFIG)

add_library(kavoda_app STATIC
  Application.cpp Application.h
  FormStyle.cpp FormStyle.h
  HelpTexts.cpp HelpTexts.h
  IniFile.cpp IniFile.h
  Options.cpp Options.h
  RadioGroup.cpp RadioGroup.h
  Settings.cpp Settings.h
  Setup.cpp Setup.h
  splash.cpp splash.h
)
target_include_directories(kavoda_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kavoda_app PUBLIC kavoda_app_base kavoda_engine kavoda_resources Qt6::Widgets)
if(TARGET CLI11::CLI11)
  target_link_libraries(kavoda_app PRIVATE CLI11::CLI11)
endif()

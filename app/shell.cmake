# SPDX-License-Identifier: MIT
# The application shell: main window, port dialog, splash, settings file,
# options, and the kavoda program itself.
find_package(CLI11 QUIET CONFIG)

add_library(kavoda_app STATIC
  Application.cpp Application.h
  Cp437.cpp Cp437.h
  HelpTexts.cpp HelpTexts.h
  IniFile.cpp IniFile.h
  Main.cpp Main.h
  Options.cpp Options.h
  RadioGroup.cpp RadioGroup.h
  Settings.cpp Settings.h
  Setup.cpp Setup.h
  Startup.cpp Startup.h
  StringGrid.cpp StringGrid.h
  UpDown.cpp UpDown.h
  splash.cpp splash.h
)
target_include_directories(kavoda_app PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kavoda_app PUBLIC
  kavoda_app_base kavoda_app_secondary kavoda_controls kavoda_engine kavoda_resources
  Qt6::Widgets)
if(TARGET CLI11::CLI11)
  target_link_libraries(kavoda_app PRIVATE CLI11::CLI11)
endif()

add_executable(kavoda main.cpp)
target_link_libraries(kavoda PRIVATE kavoda_app)
install(TARGETS kavoda RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

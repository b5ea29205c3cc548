# SPDX-License-Identifier: MIT
# The about box and the schematic window.
add_library(kavoda_app_secondary STATIC about.cpp about.h Unit1.cpp Unit1.h)
target_include_directories(kavoda_app_secondary PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kavoda_app_secondary
  PUBLIC kavoda_app_base kavoda_controls_base kavoda_resources
         Qt6::Widgets Qt6::PrintSupport Qt6::Svg)

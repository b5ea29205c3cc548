# SPDX-License-Identifier: MIT
# TCustomScrollText and TScrollText, the scrolling text roll.
add_library(kavoda_controls_scrolltext STATIC ScrollText.cpp ScrollText.h)
target_link_libraries(kavoda_controls_scrolltext PUBLIC kavoda_controls_base)
target_link_libraries(kavoda_controls INTERFACE kavoda_controls_scrolltext)

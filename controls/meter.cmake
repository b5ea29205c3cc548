# SPDX-License-Identifier: MIT
# The progress meter (Feedback) and its drawing helper (DTUtil).
add_library(kavoda_controls_meter STATIC Feedback.cpp Feedback.h DTUtil.cpp DTUtil.h)
target_include_directories(kavoda_controls_meter PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kavoda_controls_meter PUBLIC kavoda_controls_base Qt6::Widgets)
target_link_libraries(kavoda_controls INTERFACE kavoda_controls_meter)

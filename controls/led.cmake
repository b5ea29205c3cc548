# SPDX-License-Identifier: MIT
# TALed, the LED indicator; its templates come from kavoda_resources.
add_library(kavoda_controls_led STATIC ALed.cpp ALed.h)
target_link_libraries(kavoda_controls_led PUBLIC kavoda_controls_base PRIVATE kavoda_resources)
target_link_libraries(kavoda_controls INTERFACE kavoda_controls_led)

# SPDX-License-Identifier: MIT
# The shell's pictures: splash picture and program icon, at :/app/.
qt_add_resources(kavoda_resources "shell"
  PREFIX "/app"
  BASE "shell"
  FILES shell/splash.png shell/kavoda.png shell/kavoda.svg
)

# Re-renders the PNGs from their SVG sources; not part of the normal build.
add_executable(kavoda_shell_art EXCLUDE_FROM_ALL shell/svg2png.cpp)
target_link_libraries(kavoda_shell_art PRIVATE Qt6::Gui Qt6::Svg)

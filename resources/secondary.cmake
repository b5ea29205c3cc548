# SPDX-License-Identifier: MIT
# The schematic picture and the schematic window's button glyphs.
qt_add_resources(kavoda_resources "secondary"
  PREFIX "/secondary"
  BASE secondary
  FILES secondary/schematic.svg secondary/setup.xpm secondary/exit.xpm)

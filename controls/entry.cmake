# SPDX-License-Identifier: MIT
# THexGrid, Thexedit and Tnumedit: the grid and edit fields with key filters.
add_library(kavoda_controls_entry STATIC
  HexGrid.cpp HexGrid.h HexEdit.cpp HexEdit.h numedit.cpp numedit.h)
target_link_libraries(kavoda_controls_entry PUBLIC kavoda_controls_base)
target_link_libraries(kavoda_controls INTERFACE kavoda_controls_entry)

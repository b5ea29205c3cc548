# SPDX-License-Identifier: MIT
# Desktop entry and program icon; the icon's source lives with the program's
# resources, so there is one copy of it.
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/kavoda.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/shell/kavoda.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/32x32/apps)
install(FILES ${PROJECT_SOURCE_DIR}/resources/shell/kavoda.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

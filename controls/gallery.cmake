# SPDX-License-Identifier: MIT
# kavoda-gallery: not installed; a tool for looking at the controls.
set(_gallery_sources gallery/main.cpp gallery/Gallery.h)
set(_gallery_defs)
foreach(part Entry Led Meter ScrollText)
  if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/gallery/${part}Gallery.cpp)
    list(APPEND _gallery_sources gallery/${part}Gallery.cpp)
    string(TOUPPER ${part} _upper)
    list(APPEND _gallery_defs KAVODA_GALLERY_${_upper})
  endif()
endforeach()
add_executable(kavoda-gallery ${_gallery_sources})
target_compile_definitions(kavoda-gallery PRIVATE ${_gallery_defs})
target_link_libraries(kavoda-gallery PRIVATE kavoda_controls)

# SPDX-License-Identifier: MIT
# kavoda-gallery: not installed; a tool for looking at the controls.
add_executable(kavoda-gallery
  gallery/main.cpp gallery/Gallery.h
  gallery/EntryGallery.cpp gallery/LedGallery.cpp
  gallery/MeterGallery.cpp gallery/ScrollTextGallery.cpp)
target_link_libraries(kavoda-gallery PRIVATE kavoda_controls)

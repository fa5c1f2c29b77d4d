# Colour-keyed blend of 24-bit pixel buffers: portable, tested in both builds.
add_library(kestrune_blend STATIC
  ${CMAKE_CURRENT_LIST_DIR}/blend_pixels.cpp)
kestrune_add_test(blend_pixels_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/blend_pixels_test.cpp
  LIBS kestrune_blend)

# Colour-keyed blend of 24-bit pixel buffers: portable, tested in both builds.
add_library(kestrune_blend STATIC
  ${CMAKE_CURRENT_LIST_DIR}/blend_pixels.cpp)
kestrune_add_test(blend_pixels_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/blend_pixels_test.cpp
  LIBS kestrune_blend)

# Offscreen GDI drawing contexts and the bitmap blend (Windows only).
if(WIN32)
  add_library(kestrune_gfx_win STATIC
    ${CMAKE_CURRENT_LIST_DIR}/compatible_dc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bitmap_dc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/mem_dc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bmp_dc.cpp
    ${CMAKE_CURRENT_LIST_DIR}/blend_bitmap.cpp)
  target_compile_definitions(kestrune_gfx_win PUBLIC NOMINMAX)
  target_link_libraries(kestrune_gfx_win PUBLIC kestrune_blend gdi32 user32)
  kestrune_add_test(gfx_dc_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/dc_test.cpp
            ${CMAKE_CURRENT_LIST_DIR}/blend_bitmap_test.cpp
    LIBS kestrune_gfx_win)
endif()

# The program icon as PNG images of the sizes a Linux desktop uses, drawn by
# make_icon.py from the same drawing as the Windows .ico. Native build only.
#   target kestrune_icon_pngs      draws them
#   global KESTRUNE_ICON_PNG_DIR   where they are: kestrune-<size>.png
#   global KESTRUNE_ICON_PNG_SIZES the sizes
if(NOT WIN32)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(icon_sizes 16 32 48 64 128 256)
  set(icon_dir "${CMAKE_CURRENT_BINARY_DIR}/icons")
  set(icon_files "")
  set(icon_args "")
  foreach(size ${icon_sizes})
    list(APPEND icon_files "${icon_dir}/kestrune-${size}.png")
    list(APPEND icon_args --png ${size} "${icon_dir}/kestrune-${size}.png")
  endforeach()
  add_custom_command(
    OUTPUT ${icon_files}
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${icon_dir}"
    COMMAND Python3::Interpreter "${CMAKE_CURRENT_SOURCE_DIR}/make_icon.py" ${icon_args}
    DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/make_icon.py"
    COMMENT "Drawing the program icon as PNG images")
  add_custom_target(kestrune_icon_pngs DEPENDS ${icon_files})
  set_property(GLOBAL PROPERTY KESTRUNE_ICON_PNG_DIR "${icon_dir}")
  set_property(GLOBAL PROPERTY KESTRUNE_ICON_PNG_SIZES "${icon_sizes}")
endif()

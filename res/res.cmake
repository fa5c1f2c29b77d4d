# The program's resources as one object library, linked whole into the
# program (and into the tests that read them back). Windows build only.
if(WIN32)
  enable_language(RC)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(KESTRUNE_ICON "${CMAKE_CURRENT_BINARY_DIR}/kestrune.ico")
  add_custom_command(
    OUTPUT "${KESTRUNE_ICON}"
    COMMAND Python3::Interpreter "${CMAKE_CURRENT_SOURCE_DIR}/make_icon.py" "${KESTRUNE_ICON}"
    DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/make_icon.py"
    COMMENT "Drawing the program icon")
  # The version resource's numbers come from the project's version.
  configure_file(program_version.h.in "${CMAKE_CURRENT_BINARY_DIR}/program_version.h" @ONLY)
  add_library(kestrune_resources OBJECT kestrune.rc)
  # windres looks for the icon and the manifest in its include folders.
  target_include_directories(kestrune_resources PRIVATE
      "${CMAKE_CURRENT_BINARY_DIR}" "${CMAKE_CURRENT_SOURCE_DIR}")
  set_source_files_properties(kestrune.rc PROPERTIES OBJECT_DEPENDS
      "${KESTRUNE_ICON};${CMAKE_CURRENT_SOURCE_DIR}/app.manifest;${CMAKE_CURRENT_SOURCE_DIR}/resource.h;${CMAKE_CURRENT_BINARY_DIR}/program_version.h")
endif()

if(WIN32)
  kestrune_add_test(resources_test
      SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/resources_test.cpp $<TARGET_OBJECTS:kestrune_resources>
      LIBS version comctl32)
endif()

# The Linux program: the main window in Qt 6 Widgets over the portable core.
if(NOT WIN32)
  find_package(Qt6 REQUIRED COMPONENTS Widgets Test)

  # The window's logic without Qt: shared state, reporters, workers, layout.
  add_library(kestrune_window_core STATIC
      framework/centered_position.cpp
      main_window_layout.cpp
      main_window_logic.cpp
      notice_reporters.cpp
      window_shared_state.cpp
      window_workers.cpp)
  target_link_libraries(kestrune_window_core PUBLIC
      kestrune_update kestrune_firmware_update kestrune_discovery Threads::Threads)

  add_library(kestrune_main_window_qt STATIC main_window_qt.cpp)
  set_target_properties(kestrune_main_window_qt PROPERTIES AUTOMOC ON)
  target_link_libraries(kestrune_main_window_qt PUBLIC kestrune_window_core Qt6::Widgets)

  # The window icon, compiled in from the PNG images of res/.
  get_property(icon_dir GLOBAL PROPERTY KESTRUNE_ICON_PNG_DIR)
  get_property(icon_sizes GLOBAL PROPERTY KESTRUNE_ICON_PNG_SIZES)
  set(icon_files "")
  foreach(size ${icon_sizes})
    list(APPEND icon_files "${icon_dir}/kestrune-${size}.png")
  endforeach()
  set_source_files_properties(${icon_files} PROPERTIES GENERATED TRUE)
  qt_add_resources(kestrune_main_window_qt "icons" PREFIX "/icons" BASE "${icon_dir}"
                   FILES ${icon_files})
  add_dependencies(kestrune_main_window_qt kestrune_icon_pngs)

  add_executable(orvel-kestrune qt_main.cpp)
  target_link_libraries(orvel-kestrune PRIVATE kestrune_main_window_qt)

  kestrune_add_test(window_core_test
      SOURCES
        main_window_layout_test.cpp
        main_window_logic_test.cpp
        window_shared_state_test.cpp
      LIBS kestrune_window_core)
  target_compile_definitions(window_core_test PRIVATE
      KESTRUNE_RESOURCE_SCRIPT="${CMAKE_SOURCE_DIR}/res/kestrune.rc")

  add_executable(main_window_qt_test main_window_qt_test.cpp)
  set_target_properties(main_window_qt_test PROPERTIES AUTOMOC ON)
  target_link_libraries(main_window_qt_test PRIVATE kestrune_main_window_qt Qt6::Test)
  add_test(NAME main_window_qt_test COMMAND main_window_qt_test)
  set_tests_properties(main_window_qt_test PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 120)

  # The program end to end in a virtual display of its own, with the
  # simulated watch and the reference service of this build. Says SKIPPED
  # (77) where it cannot isolate the program (not root, no mount namespace).
  add_test(NAME linux_app_e2e
           COMMAND bash "${CMAKE_SOURCE_DIR}/tests/e2e/run-linux-e2e" "${CMAKE_BINARY_DIR}")
  set_tests_properties(linux_app_e2e PROPERTIES
      TIMEOUT 900 LABELS e2e SKIP_RETURN_CODE 77)
endif()

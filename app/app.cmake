# The Windows dialog program and its own small window framework.
if(WIN32)
  add_library(kestrune_app_framework STATIC
      framework/app_module.cpp
      framework/center_window.cpp
      framework/centered_position.cpp
      framework/dialog_window.cpp
      framework/message_loop.cpp
      framework/message_loop_registry.cpp)
  target_link_libraries(kestrune_app_framework PUBLIC user32)

  add_library(kestrune_main_dialog STATIC
      dialog_shared_state.cpp
      main_dlg.cpp
      run_main_dialog.cpp
      window_reporters.cpp)
  target_link_libraries(kestrune_main_dialog PUBLIC
      kestrune_app_framework kestrune_update kestrune_firmware_update
      kestrune::boost comctl32)

  # GUI subsystem (-mwindows) and the wide entry point wWinMain (-municode).
  add_executable(kestrune_app WIN32 win_main.cpp $<TARGET_OBJECTS:kestrune_resources>)
  set_target_properties(kestrune_app PROPERTIES OUTPUT_NAME "orvel kestrune")
  target_link_options(kestrune_app PRIVATE -municode)
  target_link_libraries(kestrune_app PRIVATE kestrune_main_dialog gdiplus ole32)

  kestrune_add_test(app_framework_test
      SOURCES
        framework/centered_position_test.cpp
        framework/message_loop_registry_test.cpp
        framework/message_loop_test.cpp
      LIBS kestrune_app_framework)
endif()

# The program end to end under Wine: needs a display and the native build's
# simulated watch and reference update service (scripts/test provides both).
if(WIN32)
  if(NOT DEFINED KESTRUNE_NATIVE_BUILD_DIR)
    set(KESTRUNE_NATIVE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/native")
  endif()
  add_test(NAME app_e2e
           COMMAND bash "${CMAKE_SOURCE_DIR}/tests/e2e/run-e2e"
                   "${CMAKE_BINARY_DIR}" "${KESTRUNE_NATIVE_BUILD_DIR}")
  set_tests_properties(app_e2e PROPERTIES TIMEOUT 900 LABELS e2e)
endif()

if(WIN32)
  # The dialog window base on the program's real template.
  kestrune_add_test(app_dialog_window_test
      SOURCES framework/dialog_window_test.cpp $<TARGET_OBJECTS:kestrune_resources>
      LIBS kestrune_app_framework comctl32)
  # A program without the dialog template.
  kestrune_add_test(app_run_without_template_test
      SOURCES run_main_dialog_test.cpp
      LIBS kestrune_main_dialog)
endif()

if(WIN32)
  kestrune_add_test(app_worker_start_test
      SOURCES worker_start_test.cpp
      LIBS kestrune::boost)
endif()

# update_bench: one whole firmware update of a 1 MiB image through the local
# update service and the simulated watch (a program, not a test).
if(NOT WIN32)
  add_executable(update_bench ${CMAKE_CURRENT_LIST_DIR}/update_bench.cpp)
  target_link_libraries(update_bench PRIVATE kestrune_firmware_update kestrune_update_service kestrune_testing)
  add_dependencies(update_bench dive-watch-sim kestrune-update-service)
  target_compile_definitions(update_bench PRIVATE
    KESTRUNE_UPDATE_SERVICE_PROGRAM="$<TARGET_FILE:kestrune-update-service>"
    KESTRUNE_DIVE_WATCH_SIM_PROGRAM="$<TARGET_FILE:dive-watch-sim>")
endif()

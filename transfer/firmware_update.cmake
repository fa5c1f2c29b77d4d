# The firmware update procedure, run on a worker thread without a window,
# with its platform piece: the sleep block held while the watch is being
# written.
if(WIN32)
  add_library(kestrune_sleep_inhibitor STATIC sleep_inhibitor_win.cpp)
else()
  pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
  add_library(kestrune_sleep_inhibitor STATIC sleep_inhibitor_linux.cpp)
  target_link_libraries(kestrune_sleep_inhibitor PRIVATE PkgConfig::LIBSYSTEMD)
endif()

add_library(kestrune_firmware_update STATIC firmware_update.cpp)
target_link_libraries(kestrune_firmware_update PUBLIC
  kestrune_protocol kestrune_serial kestrune_discovery kestrune_update
  kestrune_sleep_inhibitor kestrune::boost)

if(WIN32)
  kestrune_add_test(sleep_inhibitor_test
    SOURCES sleep_inhibitor_win_test.cpp
    LIBS kestrune_sleep_inhibitor)
else()
  kestrune_add_test(sleep_inhibitor_test
    SOURCES sleep_inhibitor_linux_test.cpp
    LIBS kestrune_sleep_inhibitor kestrune_testing PkgConfig::LIBSYSTEMD)
  # Whole updates against the simulated watch and the reference service.
  kestrune_add_test(firmware_update_test
    SOURCES firmware_update_test.cpp
    LIBS kestrune_firmware_update kestrune_dive_watch_sim kestrune_update_service kestrune_testing)
endif()

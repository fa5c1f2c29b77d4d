# Device discovery: finds the dive computer's serial port by USB identity.
add_library(kestrune_discovery STATIC
    ${CMAKE_CURRENT_LIST_DIR}/device_discovery.cpp
    ${CMAKE_CURRENT_LIST_DIR}/bounded_text.cpp)
if(WIN32)
  target_sources(kestrune_discovery PRIVATE ${CMAKE_CURRENT_LIST_DIR}/device_platform_win.cpp)
  # The configuration manager's calls come from cfgmgr32.dll, SetupAPI's from setupapi.dll.
  target_link_libraries(kestrune_discovery PUBLIC cfgmgr32 setupapi)
else()
  target_sources(kestrune_discovery PRIVATE
      ${CMAKE_CURRENT_LIST_DIR}/device_platform_linux.cpp
      ${CMAKE_CURRENT_LIST_DIR}/sysfs_serial_devices.cpp)
endif()

kestrune_add_test(device_discovery_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_discovery_test.cpp
    LIBS kestrune_discovery)

if(NOT WIN32)
  kestrune_add_test(sysfs_serial_devices_test
      SOURCES ${CMAKE_CURRENT_LIST_DIR}/sysfs_serial_devices_test.cpp
      LIBS kestrune_discovery kestrune_testing)
endif()

# Places the test-only stand-ins for setupapi.dll and cfgmgr32.dll beside a
# Windows test program; its test then needs KESTRUNE_FAKE_SETUPAPI_ENVIRONMENT
# (e.g. PROPERTIES ENVIRONMENT "${KESTRUNE_FAKE_SETUPAPI_ENVIRONMENT}").
set(KESTRUNE_FAKE_SETUPAPI_ENVIRONMENT "WINEDLLOVERRIDES=setupapi,cfgmgr32=n,b")
function(kestrune_place_fake_setupapi target)
  if(WIN32)
    add_dependencies(${target} kestrune_fake_setupapi kestrune_fake_cfgmgr32)
    add_custom_command(TARGET ${target} POST_BUILD
        COMMAND ${CMAKE_COMMAND} -E copy_if_different
            $<TARGET_FILE:kestrune_fake_setupapi> $<TARGET_FILE:kestrune_fake_cfgmgr32>
            $<TARGET_FILE_DIR:${target}>)
  endif()
endfunction()

if(WIN32)
  # One program, run as two tests.
  add_executable(device_platform_win_test ${CMAKE_CURRENT_LIST_DIR}/device_platform_win_test.cpp)
  target_link_libraries(device_platform_win_test PRIVATE
      kestrune_discovery kestrune_testing GTest::gtest GTest::gtest_main)
  kestrune_place_fake_setupapi(device_platform_win_test)
  # Against the stand-ins...
  add_test(NAME device_platform_win_test COMMAND device_platform_win_test
           --gtest_filter=StandInSetupApi.*)
  set_tests_properties(device_platform_win_test PROPERTIES
      ENVIRONMENT "${KESTRUNE_FAKE_SETUPAPI_ENVIRONMENT}")
  # ...and against Wine's own SetupAPI.
  add_test(NAME device_platform_win_wine_setupapi_test COMMAND device_platform_win_test
           --gtest_filter=WineOwnSetupApi.*)
  set_tests_properties(device_platform_win_wine_setupapi_test PROPERTIES
      ENVIRONMENT "WINEDLLOVERRIDES=setupapi,cfgmgr32=b")
endif()

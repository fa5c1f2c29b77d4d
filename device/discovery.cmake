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
      LIBS kestrune_discovery)
endif()

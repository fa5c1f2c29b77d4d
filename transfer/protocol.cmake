# The 40-byte frame protocol with the dive watch.
add_library(kestrune_protocol STATIC ${CMAKE_CURRENT_LIST_DIR}/device_protocol.cpp)
target_link_libraries(kestrune_protocol PUBLIC kestrune_serial kestrune::boost)

if(NOT WIN32)
  kestrune_add_test(device_protocol_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_protocol_test.cpp
    LIBS kestrune_protocol kestrune_dive_watch_sim)
endif()

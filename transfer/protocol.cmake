# The 40-byte frame protocol with the dive watch.
add_library(kestrune_protocol STATIC ${CMAKE_CURRENT_LIST_DIR}/device_protocol.cpp)
target_link_libraries(kestrune_protocol PUBLIC kestrune_serial kestrune::boost)

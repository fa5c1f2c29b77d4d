# The serial link to the dive watch and its bounded whole-buffer transfers.
add_library(kestrune_serial STATIC
  ${CMAKE_CURRENT_LIST_DIR}/serial_link.cpp
  ${CMAKE_CURRENT_LIST_DIR}/bounded_transfer.cpp)
if(WIN32)
  target_sources(kestrune_serial PRIVATE ${CMAKE_CURRENT_LIST_DIR}/serial_link_win.cpp)
else()
  target_sources(kestrune_serial PRIVATE ${CMAKE_CURRENT_LIST_DIR}/serial_link_posix.cpp)
endif()
target_link_libraries(kestrune_serial PUBLIC kestrune::boost)

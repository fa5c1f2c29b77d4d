# The serial link to the dive watch and its bounded whole-buffer transfers.
add_library(kestrune_serial STATIC ${CMAKE_CURRENT_LIST_DIR}/serial_link.cpp)
if(WIN32)
  target_sources(kestrune_serial PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/serial_link_win.cpp ${CMAKE_CURRENT_LIST_DIR}/bounded_transfer_win.cpp)
else()
  target_sources(kestrune_serial PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/serial_link_posix.cpp ${CMAKE_CURRENT_LIST_DIR}/bounded_transfer_posix.cpp)
endif()
target_link_libraries(kestrune_serial PUBLIC kestrune::boost)

if(NOT WIN32)
  kestrune_add_test(serial_link_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/serial_link_test.cpp
    LIBS kestrune_serial kestrune_dive_watch_sim)
endif()

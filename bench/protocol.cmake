# protocol_bench: block writes through the frame protocol against the raw
# speed of the same pty and simulated watch (a program, not a test).
if(NOT WIN32)
  add_executable(protocol_bench ${CMAKE_CURRENT_LIST_DIR}/protocol_bench.cpp)
  target_link_libraries(protocol_bench PRIVATE kestrune_protocol kestrune_dive_watch_sim)
endif()

# The 40-byte frame protocol with the dive watch.
add_library(kestrune_protocol STATIC ${CMAKE_CURRENT_LIST_DIR}/device_protocol.cpp)
target_link_libraries(kestrune_protocol PUBLIC kestrune_serial kestrune::boost)

if(NOT WIN32)
  kestrune_add_test(device_protocol_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/device_protocol_test.cpp
    LIBS kestrune_protocol kestrune_dive_watch_sim)
endif()

if(WIN32)
  # Under Wine each case runs against a watch started with its own behaviour.
  include(KestruneDiveWatchSim)
  add_executable(device_protocol_wine_test ${CMAKE_CURRENT_LIST_DIR}/device_protocol_wine_test.cpp)
  target_link_libraries(device_protocol_wine_test PRIVATE kestrune_protocol GTest::gtest GTest::gtest_main)
  foreach(case
      "WrittenBlocksAreAcceptedAndReadBackUnchanged|"
      "RefusedBlockReturnsFalseAndTheNextIsAcceptedAgain|--refuse-block;1"
      "AnswerWithTheWrongCommandReturnsFalse|--wrong-command-block;0"
      "AnswersInPiecesAreGathered|--pieces"
      "SilentWatchRaisesTimedOutWithinTheBound|--silent-from-block;0"
      "WatchThatHangsUpRaisesALineError|--hang-up-in-block;0;--hang-up-after-frames;129")
    string(REPLACE "|" ";" parts "${case}")
    list(GET parts 0 name)
    list(SUBLIST parts 1 -1 sim_args)
    kestrune_add_sim_test(NAME device_protocol_wine.${name} TARGET device_protocol_wine_test
      ARGS --gtest_filter=WineProtocol.${name} SIM_ARGS ${sim_args}
      PROPERTIES TIMEOUT 120 LABELS wine)
  endforeach()
  add_test(NAME device_protocol_wine.MissingComPortRaisesOpen
           COMMAND device_protocol_wine_test --gtest_filter=WineSerialLink.MissingComPortRaisesOpen)
  set_tests_properties(device_protocol_wine.MissingComPortRaisesOpen PROPERTIES TIMEOUT 120 LABELS wine)
endif()

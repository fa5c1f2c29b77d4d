# kestrune_add_sim_test(NAME name TARGET target [ARGS ...] [SIM_ARGS ...]
#                       [COM COMn] [PROPERTIES ...])
# A ctest test that runs `target` (under Wine in the Windows build) while the
# simulated dive watch serves a pty, reached as COMn (default COM7) under
# Wine. The program finds the port name in KESTRUNE_SIM_PORT and the pty in
# KESTRUNE_SIM_PATH; SIM_ARGS pick the watch's behaviour (dive-watch-sim
# --help). The Windows build runs the native simulator named by
# KESTRUNE_DIVE_WATCH_SIM, so build the native tree first.
include_guard(GLOBAL)

set(KESTRUNE_WITH_SIM_COM "${CMAKE_SOURCE_DIR}/tools/dive_watch_sim/with-sim-com")
if(WIN32)
  set(KESTRUNE_DIVE_WATCH_SIM "${KESTRUNE_NATIVE_BUILD_DIR}/tools/dive_watch_sim/dive-watch-sim")
endif()

function(kestrune_add_sim_test)
  cmake_parse_arguments(T "" "NAME;TARGET;COM" "ARGS;SIM_ARGS;PROPERTIES" ${ARGN})
  if(NOT T_COM)
    set(T_COM COM7)
  endif()
  if(WIN32)
    set(sim_options --com ${T_COM} --sim "${KESTRUNE_DIVE_WATCH_SIM}")
    set(run ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:${T_TARGET}>)
  else()
    set(sim_options --no-wine --sim $<TARGET_FILE:dive-watch-sim>)
    set(run $<TARGET_FILE:${T_TARGET}>)
  endif()
  add_test(NAME ${T_NAME}
           COMMAND "${KESTRUNE_WITH_SIM_COM}" ${sim_options} ${T_SIM_ARGS} -- ${run} ${T_ARGS})
  if(T_PROPERTIES)
    set_tests_properties(${T_NAME} PROPERTIES ${T_PROPERTIES})
  endif()
endfunction()

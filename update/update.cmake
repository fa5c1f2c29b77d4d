# Update service client: downloads, data folder, text conversions, manifest
# and the update check.
add_library(kestrune_update STATIC
  ${CMAKE_CURRENT_LIST_DIR}/downloader.cpp
  ${CMAKE_CURRENT_LIST_DIR}/format_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/manifest_fetch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_conversion.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_manifest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/update_service_url.cpp
  ${CMAKE_CURRENT_LIST_DIR}/user_data_folder.cpp)
if(WIN32)
  target_sources(kestrune_update PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/download_client_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_contents_win.cpp
    ${CMAKE_CURRENT_LIST_DIR}/user_data_folder_win.cpp)
  target_link_libraries(kestrune_update PUBLIC wininet shell32 shlwapi)
else()
  target_sources(kestrune_update PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/download_client_curl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_contents_posix.cpp
    ${CMAKE_CURRENT_LIST_DIR}/user_data_folder_posix.cpp)
  target_link_libraries(kestrune_update PUBLIC kestrune::curl)
endif()
target_link_libraries(kestrune_update PUBLIC kestrune::jsoncpp)
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/update_service_url.cpp PROPERTIES
  COMPILE_DEFINITIONS "KESTRUNE_UPDATE_HOST=\"${KESTRUNE_UPDATE_HOST}\"")

# Tests of the pieces that need no service.
kestrune_add_test(kestrune_update_text_test
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/text_conversion_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/update_manifest_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/format_path_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/file_contents_test.cpp
  LIBS kestrune_update kestrune_testing)

# Downloads against the reference update service: in-process with libcurl
# natively; under Wine the service runs natively around the test program.
if(WIN32)
  set(KESTRUNE_NATIVE_BUILD_DIR "${CMAKE_SOURCE_DIR}/build/native" CACHE PATH
      "Native build whose kestrune-update-service the Windows tests start")
  add_executable(kestrune_download_test
    ${CMAKE_CURRENT_LIST_DIR}/download_client_test.cpp
    ${CMAKE_SOURCE_DIR}/tools/update_service/pattern_bytes.cpp)
  target_link_libraries(kestrune_download_test PRIVATE kestrune_update kestrune_testing
    GTest::gtest GTest::gtest_main)
  add_test(NAME kestrune_download_test
    COMMAND ${CMAKE_SOURCE_DIR}/tools/update_service/with-update-service
      --service ${KESTRUNE_NATIVE_BUILD_DIR}/tools/update_service/kestrune-update-service
      --port 0 --untrusted-port 0 --
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kestrune_download_test>)
  set_tests_properties(kestrune_download_test PROPERTIES LABELS "wine;network")
else()
  kestrune_add_test(kestrune_download_test
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/download_client_test.cpp
    LIBS kestrune_update kestrune_update_service kestrune_testing
    LABELS network)
endif()

if(NOT WIN32)
  kestrune_add_test(kestrune_update_check_test
    SOURCES
      ${CMAKE_CURRENT_LIST_DIR}/update_check_test.cpp
      ${CMAKE_CURRENT_LIST_DIR}/user_data_folder_test.cpp
    LIBS kestrune_update kestrune_update_service kestrune_testing
    LABELS network)
endif()

if(WIN32)
  add_executable(kestrune_update_check_win_test ${CMAKE_CURRENT_LIST_DIR}/update_check_win_test.cpp)
  target_link_libraries(kestrune_update_check_win_test PRIVATE kestrune_update
    GTest::gtest GTest::gtest_main)
  add_test(NAME kestrune_update_check_win_test
    COMMAND ${CMAKE_SOURCE_DIR}/tools/update_service/with-update-service
      --service ${KESTRUNE_NATIVE_BUILD_DIR}/tools/update_service/kestrune-update-service
      --port 8443 --
      ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:kestrune_update_check_win_test>)
  set_tests_properties(kestrune_update_check_win_test PROPERTIES LABELS "wine;network")
endif()

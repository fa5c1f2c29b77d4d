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
  LIBS kestrune_update)

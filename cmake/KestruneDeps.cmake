# Third-party libraries as imported targets, the same names in both builds:
#   kestrune::boost   Boost headers with System and Thread
#   kestrune::jsoncpp JsonCpp
#   kestrune::sqlite  SQLite 3
#   GTest::gtest / GTest::gtest_main / GTest::gmock
#   kestrune::curl, OpenSSL::SSL (native only)
if(WIN32)
  set(KESTRUNE_WIN_DEPS "${CMAKE_SOURCE_DIR}/.cache/win-deps" CACHE PATH
      "Boost.Thread and JsonCpp built for MinGW by scripts/setup")
  if(NOT EXISTS "${KESTRUNE_WIN_DEPS}/lib/libboost_thread.a")
    message(FATAL_ERROR "Run scripts/setup first: ${KESTRUNE_WIN_DEPS} is missing")
  endif()
  add_library(kestrune_boost INTERFACE)
  target_include_directories(kestrune_boost SYSTEM INTERFACE "${KESTRUNE_WIN_DEPS}/include")
  target_compile_definitions(kestrune_boost INTERFACE
      BOOST_THREAD_USE_LIB _WIN32_WINNT=0x0601 WINVER=0x0601 WIN32_LEAN_AND_MEAN NOMINMAX
      BOOST_ERROR_CODE_HEADER_ONLY BOOST_SYSTEM_NO_DEPRECATED)
  target_link_libraries(kestrune_boost INTERFACE
      "${KESTRUNE_WIN_DEPS}/lib/libboost_thread.a" ws2_32 mswsock)
  add_library(kestrune::boost ALIAS kestrune_boost)

  add_library(kestrune_jsoncpp INTERFACE)
  target_include_directories(kestrune_jsoncpp SYSTEM INTERFACE "${KESTRUNE_WIN_DEPS}/include")
  target_link_libraries(kestrune_jsoncpp INTERFACE "${KESTRUNE_WIN_DEPS}/lib/libjsoncpp.a")
  add_library(kestrune::jsoncpp ALIAS kestrune_jsoncpp)

  if(NOT EXISTS "${KESTRUNE_WIN_DEPS}/lib/libsqlite3.a")
    message(FATAL_ERROR "Run scripts/setup first: SQLite is missing from ${KESTRUNE_WIN_DEPS}")
  endif()
  add_library(kestrune_sqlite INTERFACE)
  target_include_directories(kestrune_sqlite SYSTEM INTERFACE "${KESTRUNE_WIN_DEPS}/include")
  target_link_libraries(kestrune_sqlite INTERFACE "${KESTRUNE_WIN_DEPS}/lib/libsqlite3.a")
  add_library(kestrune::sqlite ALIAS kestrune_sqlite)

  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
  foreach(t gtest gtest_main gmock gmock_main)
    if(TARGET ${t} AND NOT TARGET GTest::${t})
      add_library(GTest::${t} ALIAS ${t})
    endif()
  endforeach()
else()
  find_package(Boost 1.74 REQUIRED COMPONENTS system thread)
  find_package(Threads REQUIRED)
  add_library(kestrune_boost INTERFACE)
  target_link_libraries(kestrune_boost INTERFACE Boost::boost Boost::system Boost::thread Threads::Threads)
  target_compile_definitions(kestrune_boost INTERFACE BOOST_BIND_GLOBAL_PLACEHOLDERS)
  add_library(kestrune::boost ALIAS kestrune_boost)

  find_package(PkgConfig REQUIRED)
  pkg_check_modules(JSONCPP REQUIRED IMPORTED_TARGET jsoncpp)
  add_library(kestrune::jsoncpp ALIAS PkgConfig::JSONCPP)

  find_package(SQLite3 REQUIRED)
  add_library(kestrune::sqlite ALIAS SQLite::SQLite3)

  find_package(GTest REQUIRED)
  find_package(CURL REQUIRED)
  add_library(kestrune::curl ALIAS CURL::libcurl)
  find_package(OpenSSL REQUIRED)

  option(KESTRUNE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" ON)
  if(KESTRUNE_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
  endif()
endif()

if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  add_compile_options(-Wall -Wextra)
endif()

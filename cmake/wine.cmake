# orv_add_test(NAME <name> COMMAND <target> [args...] [GUI])
# Registers a test that runs natively, or under Wine for the win32 build.
# 32-bit code may run under CPU emulation here, so Wine is slow: keep Wine
# tests lean and the timeouts generous.
# Wine tests share one prefix inside the build tree, created once by a fixture;
# all of them share one Xvfb display and one persistent wineserver for the
# whole run (cmake/wine_session.sh).
if(WIN32)
  set(ORV_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix")
  set(ORV_WINE_ENV
      "WINEPREFIX=${ORV_WINEPREFIX}"
      "WINEDEBUG=-all"
      "WINEDLLOVERRIDES=mscoree,mshtml,winemenubuilder.exe="
      "WINEARCH=win32"
      "DISPLAY=:93"
      # Where 32-bit programs run under qemu: give them the 3 GiB address
      # space of a real 32-bit Linux process. With qemu's default of 4 GiB,
      # Wine here cannot place its shared user data page and stops at start.
      "QEMU_RESERVED_VA=0xc0000000")
endif()

function(orv_add_test)
  cmake_parse_arguments(T "GUI" "NAME" "COMMAND" ${ARGN})
  if(WIN32)
    # if(TEST) sees only the current folder's tests: remember globally.
    get_property(have_prefix GLOBAL PROPERTY ORV_WINE_PREFIX_TEST)
    if(NOT have_prefix)
      set_property(GLOBAL PROPERTY ORV_WINE_PREFIX_TEST ON)
      add_test(NAME wine_prefix COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh start)
      set_tests_properties(wine_prefix PROPERTIES
        ENVIRONMENT "${ORV_WINE_ENV}" FIXTURES_SETUP wine TIMEOUT 3600)
      add_test(NAME wine_session_end COMMAND ${PROJECT_SOURCE_DIR}/cmake/wine_session.sh stop)
      set_tests_properties(wine_session_end PROPERTIES
        ENVIRONMENT "${ORV_WINE_ENV}" FIXTURES_CLEANUP wine)
    endif()
    list(GET T_COMMAND 0 tgt)
    set(rest ${T_COMMAND})
    list(REMOVE_AT rest 0)
    # GUI tests use the session's Xvfb display like every other Wine test.
    add_test(NAME ${T_NAME} COMMAND wine $<TARGET_FILE:${tgt}> ${rest}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    if(T_GUI)
      set_tests_properties(${T_NAME} PROPERTIES RUN_SERIAL ON)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES
      ENVIRONMENT "${ORV_WINE_ENV}" FIXTURES_REQUIRED wine TIMEOUT 900)
  else()
    add_test(NAME ${T_NAME} COMMAND ${T_COMMAND} WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT 900)
  endif()
endfunction()

# GoogleTest: the Debian package natively, built from its sources for Windows.
function(orv_find_gtest)
  if(TARGET GTest::gtest_main)
    return()
  endif()
  if(WIN32)
    set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    # googletest's own CMake already defines the GTest:: aliases.
  else()
    find_package(GTest REQUIRED)
  endif()
endfunction()

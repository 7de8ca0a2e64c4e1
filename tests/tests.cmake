# Test groups. Each needs tools that someone who only builds the program may not have: a group whose
# tools are missing is left out, and configure says so in one message that names the packages to
# install. FOLDGRAF_REQUIRE_ALL_TESTS (CI sets it) makes that message an error, so that no group is
# ever skipped unnoticed.
include(CTest)
option(FOLDGRAF_REQUIRE_ALL_TESTS "Stop configuring when a test group's tools are missing" OFF)
set(foldgraf_left_out "")
macro(foldgraf_leave_out group packages)
  string(APPEND foldgraf_left_out "\n  ${group}: install ${packages}")
endmacro()

option(FOLDGRAF_WINE_TESTS "Build foldgraf.exe and test it: under Wine, and its .zip" ON)
set(foldgraf_wine_tests OFF)
set(foldgraf_windows_build OFF)
set(install_tests_left_out "")
if(BUILD_TESTING AND NOT WIN32)
  # Debian's GoogleTest library is built for libstdc++; with libc++ it is built here from Debian's
  # sources instead.
  include(CheckCXXSourceCompiles)
  check_cxx_source_compiles("#include <version>\n#ifndef _LIBCPP_VERSION\n#error\n#endif\nint main() {}"
                            FOLDGRAF_LIBCXX)
  option(FOLDGRAF_GTEST_FROM_SOURCE "Build GoogleTest from /usr/src/googletest" ${FOLDGRAF_LIBCXX})
  if(FOLDGRAF_GTEST_FROM_SOURCE AND EXISTS /usr/src/googletest/CMakeLists.txt)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    # It names its libraries GTest::gtest and GTest::gtest_main, as the installed package does.
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(GTest_FOUND ON)
  elseif(NOT FOLDGRAF_GTEST_FROM_SOURCE)
    find_package(GTest QUIET)
  endif()
  if(NOT GTest_FOUND)
    foldgraf_leave_out("every test (GoogleTest is missing)" "googletest libgtest-dev")
  endif()
endif()
if(BUILD_TESTING AND NOT WIN32 AND GTest_FOUND)
  find_program(FOLDGRAF_GROFF groff)
  find_program(FOLDGRAF_MAN man)
  if(NOT FOLDGRAF_GROFF OR NOT FOLDGRAF_MAN)
    foldgraf_leave_out("manual page tests" "groff man-db")
    string(APPEND install_tests_left_out ":ManPageTest.*")
  endif()
  find_program(FOLDGRAF_DPKG_DEB dpkg-deb)
  find_program(FOLDGRAF_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(NOT FOLDGRAF_DPKG_DEB OR NOT FOLDGRAF_DPKG_SHLIBDEPS)
    foldgraf_leave_out("Debian package tests" "dpkg-dev")
    string(APPEND install_tests_left_out ":DebPackageTest.*")
  endif()

  # The Windows program is cross-built with MinGW-w64 and run under Wine as a Japanese system runs it.
  find_program(FOLDGRAF_MINGW_CXX x86_64-w64-mingw32-g++-posix)
  find_program(FOLDGRAF_WINE NAMES wine64 PATHS /usr/lib/wine)
  find_program(FOLDGRAF_WINESERVER NAMES wineserver64 wineserver PATHS /usr/lib/wine)
  execute_process(COMMAND locale -a OUTPUT_VARIABLE foldgraf_locales ERROR_QUIET)
  string(REGEX MATCH "ja_JP\\.utf-?8" foldgraf_japanese_locale "${foldgraf_locales}")
  set(foldgraf_windows_build OFF)
  if(NOT FOLDGRAF_WINE_TESTS)
    string(APPEND install_tests_left_out ":WindowsZipTest.*")
  elseif(NOT FOLDGRAF_MINGW_CXX)
    foldgraf_leave_out("Windows package test" "g++-mingw-w64-x86-64-posix")
    string(APPEND install_tests_left_out ":WindowsZipTest.*")
  else()
    set(foldgraf_windows_build ON)
  endif()
  if(FOLDGRAF_WINE_TESTS)
    if(FOLDGRAF_MINGW_CXX AND FOLDGRAF_WINE AND FOLDGRAF_WINESERVER AND foldgraf_japanese_locale)
      set(foldgraf_wine_tests ON)
    else()
      foldgraf_leave_out("Windows tests under Wine"
                         "g++-mingw-w64-x86-64-posix wine64 locales, and make the ja_JP.UTF-8 locale")
    endif()
  endif()
endif()

if(BUILD_TESTING AND NOT WIN32 AND GTest_FOUND)
  include(GoogleTest)

  # FOLDGRAF_VALGRIND runs the program under valgrind's memcheck wherever a test runs it (RunProgram).
  option(FOLDGRAF_VALGRIND "Run the program under valgrind in the end-to-end and fault tests" OFF)
  set(foldgraf_under_test "$<TARGET_FILE:foldgraf>")
  if(FOLDGRAF_VALGRIND)
    set(foldgraf_under_test "${CMAKE_BINARY_DIR}/foldgraf-under-valgrind")
    file(GENERATE OUTPUT "${foldgraf_under_test}" INPUT tests/foldgraf-under-valgrind.in
         FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ
                          WORLD_EXECUTE)
  endif()

  # What every test executable shares: expected texts and diffs, real temporary folders, and
  # running the built program (under Wine too, where the Wine tests add their paths below).
  add_library(foldgraf_test_support STATIC
    tests/support/expected_listing.cc
    tests/support/folders.cc
    tests/support/program.cc
    tests/support/text.cc)
  target_include_directories(foldgraf_test_support PUBLIC tests src)
  target_compile_definitions(foldgraf_test_support PRIVATE FOLDGRAF_PATH="${foldgraf_under_test}")
  target_link_libraries(foldgraf_test_support PUBLIC GTest::gtest GTest::gtest_main)

  # The command driver and the folder tree over an in-memory file system.
  add_executable(foldgraf_tests
    tests/fake_file_system.cc
    tests/command_line_test.cc
    tests/run_listing_test.cc
    tests/walk_folder_test.cc
    tests/file_block_test.cc
    tests/shown_name_test.cc
    tests/native_text_test.cc
    tests/split_command_line_test.cc)
  target_compile_definitions(foldgraf_tests PRIVATE FOLDGRAF_WINDOWS_STACK=${FOLDGRAF_WINDOWS_STACK})
  target_link_libraries(foldgraf_tests PRIVATE foldgraf_core foldgraf_platform_rules
                        foldgraf_test_support)
  gtest_discover_tests(foldgraf_tests)

  # The listing engine over a fake folder reader, and the folder walk over both.
  add_executable(listing_tests
    src/platform/listing.cc
    src/platform/read_ahead.cc
    tests/fake_folder_reader.cc
    tests/listing_test.cc)
  target_link_libraries(listing_tests PRIVATE foldgraf_core foldgraf_platform_rules
                        foldgraf_test_support Threads::Threads)
  gtest_discover_tests(listing_tests)

  # Reading ahead over the same fake, its folders slow to open.
  add_executable(read_ahead_tests
    src/platform/listing.cc
    src/platform/read_ahead.cc
    tests/fake_folder_reader.cc
    tests/read_ahead_test.cc)
  target_link_libraries(read_ahead_tests PRIVATE foldgraf_core foldgraf_platform_rules
                        foldgraf_test_support Threads::Threads)
  gtest_discover_tests(read_ahead_tests)

  # The POSIX platform layer on real temporary folders.
  add_executable(platform_tests
    tests/paths_posix_test.cc
    tests/files_posix_test.cc
    tests/time_posix_test.cc)
  target_link_libraries(platform_tests PRIVATE foldgraf_platform foldgraf_test_support)
  gtest_discover_tests(platform_tests)

  # The built program on real folders, compared byte for byte; and faults end to end: failed
  # output, unreadable and vanishing folders, link cycles, limits.
  foreach(suite end_to_end fault)
    add_executable(${suite}_tests tests/${suite}_test.cc)
    target_link_libraries(${suite}_tests PRIVATE foldgraf_test_support)
    add_dependencies(${suite}_tests foldgraf)
    gtest_discover_tests(${suite}_tests PROPERTIES LABELS program)
  endforeach()

  # The manual page, the install rules and the packages, checked as a user would meet them; the
  # groups whose tools are missing are filtered out.
  add_executable(install_tests tests/install_test.cc)
  target_compile_definitions(install_tests PRIVATE
    FOLDGRAF_SOURCE_DIR="${CMAKE_CURRENT_SOURCE_DIR}"
    FOLDGRAF_BUILD_DIR="${CMAKE_CURRENT_BINARY_DIR}"
    FOLDGRAF_CMAKE="${CMAKE_COMMAND}"
    FOLDGRAF_CPACK="${CMAKE_CPACK_COMMAND}")
  target_link_libraries(install_tests PRIVATE foldgraf_test_support)
  add_dependencies(install_tests foldgraf)
  gtest_discover_tests(install_tests TEST_FILTER "-${install_tests_left_out}")
endif()

# ---------------------------------------------------------------------------------------------
# Windows: the helpers the end-to-end suite and the platform conformance test run under Wine.
if(BUILD_TESTING AND WIN32)
  add_executable(list_folder tests/list_folder.cc)
  add_executable(start_with_command_line tests/start_with_command_line.cc)
  add_executable(platform_conformance tests/platform_conformance.cc)
  target_link_libraries(platform_conformance PRIVATE foldgraf_platform)
  add_executable(platform_conformance_narrow tests/platform_conformance.cc)
  target_compile_definitions(platform_conformance_narrow PRIVATE FOLDGRAF_SYSTEM_NARROW_API)
  target_link_libraries(platform_conformance_narrow PRIVATE foldgraf_platform)
endif()

# The Windows program, for the Wine tests and the .zip test: made alongside, in build/windows, by the
# "windows" preset of CMakePresets.json, the one description of the Windows build.
if(foldgraf_windows_build)
  include(ExternalProject)
  set(windows_dir ${CMAKE_CURRENT_BINARY_DIR}/windows)
  ExternalProject_Add(windows_build
    SOURCE_DIR ${CMAKE_CURRENT_SOURCE_DIR}
    BINARY_DIR ${windows_dir}
    CONFIGURE_COMMAND ${CMAKE_COMMAND} --preset windows -S <SOURCE_DIR> -B <BINARY_DIR>
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  add_dependencies(install_tests windows_build)
  target_compile_definitions(install_tests PRIVATE FOLDGRAF_WINDOWS_BUILD_DIR="${windows_dir}")
endif()

# The same end-to-end suite against foldgraf.exe under Wine, run as a Japanese system runs it.
if(foldgraf_wine_tests)
  add_dependencies(end_to_end_tests windows_build)
  set(wine_prefix ${CMAKE_CURRENT_BINARY_DIR}/wine-prefix)
  set(wine_definitions FOLDGRAF_WINE="${FOLDGRAF_WINE}" FOLDGRAF_WINESERVER="${FOLDGRAF_WINESERVER}"
      FOLDGRAF_WINE_PREFIX="${wine_prefix}" FOLDGRAF_WINDOWS_DIR="${windows_dir}")

  # The POSIX layer and the Windows API over one table of inputs, compared row by row.
  add_executable(platform_conformance tests/platform_conformance.cc)
  target_link_libraries(platform_conformance PRIVATE foldgraf_platform)
  add_executable(platform_conformance_test tests/platform_conformance_test.cc)
  target_compile_definitions(platform_conformance_test PRIVATE
    PLATFORM_CONFORMANCE_PATH="$<TARGET_FILE:platform_conformance>")
  target_link_libraries(platform_conformance_test PRIVATE foldgraf_test_support)
  add_dependencies(platform_conformance_test windows_build foldgraf)
  target_compile_definitions(foldgraf_test_support PRIVATE ${wine_definitions})

  # One Wine session for all Windows tests: a throwaway prefix and one persistent wineserver, so
  # that each run takes milliseconds instead of seconds; stopped when the tests end.
  set(wine_environment "WINEPREFIX=${wine_prefix}" "WINEDEBUG=-all"
      "WINESERVER=${FOLDGRAF_WINESERVER}" "LANG=ja_JP.UTF-8" "LC_ALL=ja_JP.UTF-8")
  add_test(NAME wine_session_start
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine-session start ${FOLDGRAF_WINE})
  add_test(NAME wine_session_stop
           COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/tests/wine-session stop ${FOLDGRAF_WINE})
  set_tests_properties(wine_session_start PROPERTIES
    FIXTURES_SETUP wine ENVIRONMENT "${wine_environment}" TIMEOUT 180)
  set_tests_properties(wine_session_stop PROPERTIES
    FIXTURES_CLEANUP wine ENVIRONMENT "${wine_environment}" TIMEOUT 60)
  # The tests themselves give each Wine run the session's environment.
  gtest_discover_tests(end_to_end_tests TEST_PREFIX "wine." PROPERTIES
    ENVIRONMENT FOLDGRAF_UNDER_WINE=1 FIXTURES_REQUIRED wine TIMEOUT 300)
  gtest_discover_tests(platform_conformance_test PROPERTIES
    ENVIRONMENT FOLDGRAF_UNDER_WINE=1 FIXTURES_REQUIRED wine TIMEOUT 120)
endif()

if(foldgraf_left_out)
  set(left_out_message "Test groups left out, their tools are missing:${foldgraf_left_out}\n"
                       "(tools/setup-debian --tests installs them all)")
  if(FOLDGRAF_REQUIRE_ALL_TESTS)
    message(FATAL_ERROR ${left_out_message})
  endif()
  message(NOTICE ${left_out_message})
endif()


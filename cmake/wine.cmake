# Running the Windows test programs under Wine (Debian's wine64), from ctest.
#
# Each build folder has a Wine prefix of its own, made on first use by wine-run.sh, which
# every test program runs through (CMAKE_CROSSCOMPILING_EMULATOR).
if(NOT WINE64_EXECUTABLE)
  message(FATAL_ERROR "Wine is needed to run the Windows tests: install Debian's wine64, or configure with -DORMEL_BUILD_TESTS=OFF")
endif()
set(ORMEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(${CMAKE_SOURCE_DIR}/cmake/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh @ONLY
  FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh)

# A failing assertion and a crash in a Windows test must reach ctest as failures, not as
# Wine's exit status 0. The probes fail on purpose and are marked so: should Wine ever
# swallow a failure, they pass, and ctest reports that.
option(ORMEL_WINE_PROBES_EXPECT_FAILURE "Mark the Wine exit-status probes as expected to fail" ON)
add_executable(wine_exit_status_probe ${CMAKE_SOURCE_DIR}/tests/support/wine_exit_status_probe.cpp)
target_link_libraries(wine_exit_status_probe PRIVATE GTest::gtest GTest::gtest_main)
add_test(NAME wine_probe.failing_assertion COMMAND wine_exit_status_probe --gtest_filter=Probe.FailingAssertion)
add_test(NAME wine_probe.crash COMMAND wine_exit_status_probe --gtest_filter=Probe.Crash)
set_tests_properties(wine_probe.failing_assertion wine_probe.crash PROPERTIES
  LABELS "probe" TIMEOUT 120 WILL_FAIL ${ORMEL_WINE_PROBES_EXPECT_FAILURE})

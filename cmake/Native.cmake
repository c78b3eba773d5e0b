# Native (Linux) build: the portable core, its unit tests and benchmarks.
find_package(GTest REQUIRED)
include(GoogleTest)

if(VARNHOLT_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
    add_link_options(-fsanitize=address,undefined)
endif()

# The cleanup tool for file servers.
add_library(varnholt_cleanup STATIC cleanup/CleanupTool.cpp cleanup/PosixFileTree.cpp cleanup/CleanupPosix.cpp)
target_link_libraries(varnholt_cleanup PUBLIC varnholt_core)
target_compile_options(varnholt_cleanup PRIVATE -Wall -Wextra)
add_executable(varnholt-cleanup cleanup/CleanupMainPosix.cpp)
target_link_libraries(varnholt-cleanup PRIVATE varnholt_cleanup)

add_executable(core_tests
    tests/native/BackupPathTest.cpp
    tests/native/SettingsStoreTest.cpp
    tests/native/SettingsRulesTest.cpp
    tests/native/CopyListTest.cpp
    tests/native/CopyNameTest.cpp
    tests/native/RetentionPlanTest.cpp
    tests/native/HousekeepingTest.cpp
    tests/native/CleanupToolTest.cpp
    tests/native/JournalTest.cpp
    tests/native/RecoveryNoticeTest.cpp
    tests/native/FileDigestTest.cpp
)
target_link_libraries(core_tests PRIVATE varnholt_core varnholt_cleanup GTest::gtest_main)
target_compile_options(core_tests PRIVATE -Wall -Wextra)
gtest_discover_tests(core_tests DISCOVERY_MODE PRE_TEST)

find_package(benchmark QUIET)
if(benchmark_FOUND AND NOT VARNHOLT_SANITIZE)
    add_executable(bench_compose bench/ComposeBench.cpp)
    target_link_libraries(bench_compose PRIVATE varnholt_core benchmark::benchmark benchmark::benchmark_main)
endif()

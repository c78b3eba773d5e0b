# Windows build (MinGW-w64 cross): the plug-in, the stand-in host and the Wine tests.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
set(CMAKE_LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
# Self-contained binaries: no runtime DLLs beyond the system's.
add_link_options(-static -static-libgcc -static-libstdc++)
set(VARNHOLT_WARNINGS -Wall -Wextra)

# Import library for the host's VylLib.dll, made from the seven names alone, so that
# the plug-in binds to the real host library by name.
set(VYLLIB_IMPORT ${CMAKE_BINARY_DIR}/libVylLibImport.a)
add_custom_command(OUTPUT ${VYLLIB_IMPORT}
    COMMAND ${CMAKE_DLLTOOL} -d ${CMAKE_SOURCE_DIR}/host/VylLib.def -l ${VYLLIB_IMPORT}
    DEPENDS ${CMAKE_SOURCE_DIR}/host/VylLib.def)
add_custom_target(vyllib_import DEPENDS ${VYLLIB_IMPORT})
add_library(VylLibImport STATIC IMPORTED GLOBAL)
set_target_properties(VylLibImport PROPERTIES IMPORTED_LOCATION ${VYLLIB_IMPORT})
add_dependencies(VylLibImport vyllib_import)

# The plug-in's code, as it goes into Varnholt.dll (and into the tests that drive it directly).
add_library(varnholt_plugin OBJECT
    framework/Afx.cpp
    host/ModuleObjects.cpp
    host/VarnholtApp.cpp
    backup/BackupRun.cpp
    backup/FileTreeWin32.cpp
    backup/JournalWin32.cpp
    backup/RecoveryWin32.cpp
    settings/RegistryWin32.cpp
    ui/BackupManageDlg.cpp
    ui/CopyListDlg.cpp
    ui/FolderPicker.cpp
    ui/ShowInFolder.cpp
    ui/VarnholtDlg.cpp
)
target_link_libraries(varnholt_plugin PUBLIC varnholt_core VylLibImport comctl32 shell32 ole32 user32 gdi32)
target_compile_options(varnholt_plugin PRIVATE ${VARNHOLT_WARNINGS})

# The product.
add_library(Varnholt SHARED framework/DllMain.cpp ui/Varnholt.rc)
set_target_properties(Varnholt PROPERTIES PREFIX "")
target_link_libraries(Varnholt PRIVATE varnholt_plugin)
target_link_options(Varnholt PRIVATE -Wl,--dynamicbase,--high-entropy-va,--nxcompat)
set_source_files_properties(ui/Varnholt.rc PROPERTIES OBJECT_DEPENDS
    "${CMAKE_SOURCE_DIR}/ui/Varnholt.manifest;${CMAKE_SOURCE_DIR}/ui/resource.h;${CMAKE_SOURCE_DIR}/ui/bitmaps/pattern_a.bmp;${CMAKE_SOURCE_DIR}/ui/bitmaps/pattern_b.bmp;${CMAKE_SOURCE_DIR}/ui/bitmaps/pattern_c.bmp;${CMAKE_SOURCE_DIR}/ui/bitmaps/pattern_d.bmp")

# Stand-in host library.
add_library(VylLib SHARED hostsim/VylSim.cpp)
set_target_properties(VylLib PROPERTIES PREFIX "")
target_include_directories(VylLib PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(VylLib PRIVATE ${VARNHOLT_WARNINGS})

# GoogleTest for Windows, run under Wine.
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# A message box that opens inside a run is caught by the modal-window guard of the harness.
add_executable(win_backup_tests tests/win/BackupRunTest.cpp tests/win/FileTreeWin32Test.cpp tests/win/WinTestUtil.cpp hostsim/IatHook.cpp
    tests/win/PluginHarness.cpp tests/win/ModalGuard.cpp)
target_link_libraries(win_backup_tests PRIVATE varnholt_plugin VylLib gtest_main)
add_test(NAME win_backup_tests COMMAND win_backup_tests)

add_executable(win_framework_tests tests/win/FrameworkTest.cpp tests/win/WinTestUtil.cpp)
target_link_libraries(win_framework_tests PRIVATE varnholt_plugin VylLib gtest_main)
add_test(NAME win_framework_tests COMMAND win_framework_tests)

add_executable(win_settings_tests tests/win/SettingsRegistryTest.cpp tests/win/WinTestUtil.cpp)
target_link_libraries(win_settings_tests PRIVATE varnholt_plugin gtest_main)
add_test(NAME win_settings_tests COMMAND win_settings_tests --gtest_filter=-RegistryRestart.*)
# What the store writes is still there after the Wine server restarted and reloaded the registry.
add_test(NAME win_settings_restart_write COMMAND win_settings_tests --gtest_filter=RegistryRestart.WriteBeforeRestart)
add_test(NAME wine_server_restart COMMAND bash ${CMAKE_SOURCE_DIR}/tools/wine-restart-server.sh)
add_test(NAME win_settings_restart_read COMMAND win_settings_tests --gtest_filter=RegistryRestart.ReadAfterRestart)
set_tests_properties(wine_server_restart PROPERTIES DEPENDS win_settings_restart_write RUN_SERIAL ON)
set_tests_properties(win_settings_restart_read PROPERTIES DEPENDS wine_server_restart)

# The cleanup tool for existing backup trees.
add_executable(VarnholtCleanup cleanup/CleanupMainWin32.cpp cleanup/CleanupTool.cpp backup/FileTreeWin32.cpp)
target_link_libraries(VarnholtCleanup PRIVATE varnholt_core)
target_link_options(VarnholtCleanup PRIVATE -municode -Wl,--dynamicbase,--high-entropy-va,--nxcompat)
target_compile_options(VarnholtCleanup PRIVATE ${VARNHOLT_WARNINGS})

# The stand-in host program.
add_executable(host hostsim/HostMain.cpp hostsim/IatHook.cpp hostsim/Screenshot.cpp)
target_link_libraries(host PRIVATE VylLib gdi32 user32)
target_link_options(host PRIVATE -municode)
add_dependencies(host Varnholt)

# The plug-in as the host loads it: the dialog and the lifecycle, driven through Varnholt.dll.
add_executable(win_plugin_tests tests/win/SettingsDialogTest.cpp tests/win/PluginLifecycleTest.cpp
    tests/win/HousekeepingTickTest.cpp tests/win/BackupManageDialogTest.cpp tests/win/CopyListDialogTest.cpp tests/win/RecoveryNoticeTest.cpp tests/win/PluginHarness.cpp tests/win/ModalGuard.cpp tests/win/WinTestUtil.cpp
    hostsim/IatHook.cpp hostsim/Screenshot.cpp)
target_link_libraries(win_plugin_tests PRIVATE VylLib varnholt_core gtest_main comctl32 gdi32)
add_dependencies(win_plugin_tests Varnholt)
add_test(NAME win_plugin_tests COMMAND win_plugin_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
# A linked folder inside a backup tree, made from the Linux side before the plug-in's tests.
add_test(NAME win_link_fixture COMMAND bash ${CMAKE_SOURCE_DIR}/tools/make-link-fixture.sh)
set_tests_properties(win_link_fixture PROPERTIES FIXTURES_SETUP linked_tree)
set_tests_properties(win_plugin_tests win_backup_tests PROPERTIES FIXTURES_REQUIRED linked_tree)

add_executable(win_binary_tests tests/win/BinaryTest.cpp tests/win/WinTestUtil.cpp)
target_link_libraries(win_binary_tests PRIVATE gtest_main version)
add_dependencies(win_binary_tests Varnholt)
add_test(NAME win_binary_tests COMMAND win_binary_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

# Soak and cost figures under Wine (run by bench/run-wine.sh, not by the tests).
add_executable(plugin_bench bench/PluginBench.cpp tests/win/PluginHarness.cpp tests/win/WinTestUtil.cpp hostsim/IatHook.cpp
    backup/JournalWin32.cpp backup/FileTreeWin32.cpp)
target_link_libraries(plugin_bench PRIVATE VylLib varnholt_core psapi comctl32 gdi32)
add_dependencies(plugin_bench Varnholt)

# Every Windows test runs in a zone that is not UTC, so that a stamp taken from UTC
# instead of local time shows. The zone is UTC+9 in the form that both Wine and the C
# runtime read (a name such as Asia/Seoul reaches Wine but not the C runtime).
get_property(windows_tests DIRECTORY PROPERTY TESTS)
set_tests_properties(${windows_tests} PROPERTIES ENVIRONMENT TZ=KST-9)

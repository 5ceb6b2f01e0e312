# The Win32 and end-to-end layers and the benchmark: Windows programs run under this
# build's Wine. Included from tests/CMakeLists.txt when the host can run this architecture.
#
# Tests that use the desktop hold one of the desktops listed in desktops.json (CTest
# resources, which the test presets pass to CTest), each a Wine prefix, wine server and X
# display apart (tkwine). One desktop for now: with two at a time on two cores, runs of the
# file-dialog, menu and drag scenarios failed now and then under the load (a Wine dialog
# crashed, a menu came late). A second entry in desktops.json runs two at a time again.
file(READ ${CMAKE_CURRENT_LIST_DIR}/desktops.json TK_DESKTOPS_JSON)
string(JSON TK_WINE_DESKTOPS LENGTH "${TK_DESKTOPS_JSON}" local 0 desktop)
configure_file(${CMAKE_CURRENT_LIST_DIR}/tkwine.in ${CMAKE_BINARY_DIR}/tkwine @ONLY
    FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/tkwine run)

add_test(NAME wine.start COMMAND ${CMAKE_BINARY_DIR}/tkwine start)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)
add_test(NAME wine.stop COMMAND ${CMAKE_BINARY_DIR}/tkwine stop)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

# --- GoogleTest for MinGW, from Debian's sources --------------------------------------
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Helpers shared by the Windows test programs: scratch folders, processes, waits.
add_library(tk_testsupport STATIC support/testsupport.cpp support/screencheck.cpp)
# The tests folder too, for the fixtures' shared headers.
target_include_directories(tk_testsupport PUBLIC support ${CMAKE_SOURCE_DIR}
                           ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(tk_testsupport PUBLIC gtest user32 kernel32 gdi32 shell32 advapi32)

# The other architecture's build, where this host runs both: the tests of one Trailkeep
# per desktop pair the two. A Unix path reaches the Windows programs through drive Z:
# (Windows takes forward slashes in paths as well).
set(TK_PEER_BIN "" CACHE PATH "bin folder of the other architecture's test build")
set(TK_PEER_BIN_WINDOWS "")
if(TK_PEER_BIN)
    set(TK_PEER_BIN_WINDOWS "Z:${TK_PEER_BIN}")
endif()

# A Windows test program: one CTest test per test case. Each case holds one desktop
# (windows, menus, hooks, input): two never share one.
# Cases that only another run takes are left out by a GoogleTest filter in
# TK_LISTED_<target>.
function(tk_windows_test target label)
    add_executable(${target} ${ARGN})
    target_link_libraries(${target} PRIVATE tk_testsupport gtest_main)
    target_link_options(${target} PRIVATE -static)
    gtest_discover_tests(${target}
        TEST_PREFIX ${label}.
        TEST_FILTER "${TK_LISTED_${target}}"
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 300
        PROPERTIES FIXTURES_REQUIRED wine RESOURCE_GROUPS desktop:1 LABELS ${label} TIMEOUT 180
                   ENVIRONMENT "TK_PEER_BIN=${TK_PEER_BIN_WINDOWS}")
endfunction()

# --- Win32 tests: Trailkeep's own code inside a test program --------------------------
tk_test_floor(win32 58)
tk_windows_test(tk_win32_tests win32
    win32/settings_file_test.cpp
    win32/drive_class_test.cpp
    win32/folder_menu_test.cpp
    win32/open_folder_test.cpp
    win32/folder_picker_test.cpp
    win32/settings_command_test.cpp
    win32/drag_watch_test.cpp
    win32/uipi_test.cpp
    ${CMAKE_SOURCE_DIR}/resources/trailkeep.rc)
target_link_libraries(tk_win32_tests PRIVATE trailkeep_core ole32 oleaut32 uuid)

# The hook procedure of Trailhook.dll, compiled with the library's own options.
set_source_files_properties(support/hook_under_test.cpp
    PROPERTIES COMPILE_OPTIONS "${TK_FREESTANDING_OPTIONS}")
tk_windows_test(tk_hook_tests win32 win32/hook_text_test.cpp support/hook_under_test.cpp)

# --- End-to-end tests: the real deliverables and a stand-in Explorer ------------------
# 73 listed: all pass but the pairing of the two bitnesses, which skips in a tree without the
# other build (the x86 tree always; the x64 tree where the host runs 64-bit code only), and
# the choice of a folder that only a background tab shows, which skips until it is met.
tk_test_floor(e2e 72)
add_executable(standin_explorer WIN32 fixtures/standin_explorer.cpp)
target_link_options(standin_explorer PRIVATE -static)
target_link_libraries(standin_explorer PRIVATE user32 kernel32)

# A stand-in taskbar that records the clicks it gets.
add_executable(standin_taskbar WIN32 fixtures/standin_taskbar.cpp)
target_link_options(standin_taskbar PRIVATE -static)
target_link_libraries(standin_taskbar PRIVATE user32 kernel32)

# A stand-in shell: the shell's window list and modern folder windows, as a COM server.
add_executable(standin_shell WIN32 fixtures/standin_shell.cpp)
target_link_options(standin_shell PRIVATE -static)
target_link_libraries(standin_shell PRIVATE ole32 oleaut32 uuid shell32 shlwapi user32 kernel32)
add_dependencies(tk_win32_tests standin_shell)

# A program that shows Windows' real Open, Save As or item dialog and tells what it shows.
add_executable(file_dialog WIN32 fixtures/file_dialog.cpp)
target_link_options(file_dialog PRIVATE -static)
target_link_libraries(file_dialog PRIVATE comdlg32 ole32 shell32 uuid user32 kernel32)

# The layout at a display scale is the scaled run's (below).
set(TK_LISTED_tk_e2e_tests -ScaledLayout.*)
tk_windows_test(tk_e2e_tests e2e
    e2e/resident_test.cpp
    e2e/capture_test.cpp
    e2e/menu_test.cpp
    e2e/hardening_test.cpp
    e2e/drag_test.cpp
    e2e/dialogs_test.cpp
    e2e/shell_watch_test.cpp
    e2e/shell_quirks_test.cpp
    e2e/filedialog_test.cpp
    e2e/unicode_test.cpp
    e2e/scale_test.cpp)
add_dependencies(tk_e2e_tests Trailkeep Trailhook Trailmenu standin_explorer standin_taskbar
    standin_shell file_dialog)

# --- At a display scale of 150 %: a prefix and display of their own ---------------------
# Wine takes the scale for a whole session, so the scaled tests cannot share the prefix of
# the others. They run the layout of the dialogs and menus, the scale-aware end-to-end
# tests (which run at 100 % above as well) and the drop of a dragged entry. TK_EXPECT_DPI makes a prefix that did not scale fail them.
set(TK_SCALED_ENV TK_WINE_ROOT=${CMAKE_BINARY_DIR}/wine-144 TK_WINE_DPI=144 TK_EXPECT_DPI=144
    "TK_PEER_BIN=${TK_PEER_BIN_WINDOWS}")
add_test(NAME wine.scaled.start COMMAND ${CMAKE_BINARY_DIR}/tkwine start)
add_test(NAME wine.scaled.stop COMMAND ${CMAKE_BINARY_DIR}/tkwine stop)
set_tests_properties(wine.scaled.start PROPERTIES FIXTURES_SETUP wine144 TIMEOUT 300)
set_tests_properties(wine.scaled.stop PROPERTIES FIXTURES_CLEANUP wine144)
add_test(NAME e2e.scaled.AtTheScreensScale COMMAND tk_e2e_tests --gtest_filter=Scale.*:ScaledLayout.*)
add_test(NAME e2e.scaled.DropOnExplorer
    COMMAND tk_e2e_tests --gtest_filter=Drags.EntryDroppedOnExplorerTakesItThere:Drags.MarkerIsDrawnAtTheScreensScale)
set_tests_properties(wine.scaled.start wine.scaled.stop e2e.scaled.AtTheScreensScale
    e2e.scaled.DropOnExplorer PROPERTIES ENVIRONMENT "${TK_SCALED_ENV}" LABELS e2e)
set_tests_properties(e2e.scaled.AtTheScreensScale e2e.scaled.DropOnExplorer PROPERTIES
    FIXTURES_REQUIRED wine144 RESOURCE_GROUPS desktop:1 TIMEOUT 180)

# --- Benchmark: not a test; prints figures --------------------------------------------
# `cmake --build --preset test --target bench` builds what it needs and runs it: the hook's
# cost in instructions counted by callgrind, and capture and menu latencies with the real
# deliverables under this build's Wine. It uses the desktop: not while tests run here.
# Its programs are built with the tests, so that a change that breaks them shows at once.
find_path(TK_CALLGRIND_INCLUDE callgrind.h PATHS /usr/include/valgrind
          NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
if(TK_CALLGRIND_INCLUDE)
    # The production hook source compiled into the benchmark, with Trailhook's own options.
    add_executable(tk_bench_hook bench/hook_cost.cpp support/hook_under_test.cpp)
    target_include_directories(tk_bench_hook PRIVATE ${CMAKE_SOURCE_DIR})
    target_include_directories(tk_bench_hook SYSTEM PRIVATE ${TK_CALLGRIND_INCLUDE})
    target_link_libraries(tk_bench_hook PRIVATE user32 kernel32)
    target_link_options(tk_bench_hook PRIVATE -static)

    add_executable(tk_bench bench/latency_bench.cpp
        ${CMAKE_SOURCE_DIR}/core/guids.cpp ${CMAKE_SOURCE_DIR}/resources/trailkeep.rc)
    target_link_libraries(tk_bench PRIVATE tk_testsupport trailkeep_core)
    target_link_options(tk_bench PRIVATE -static)
    add_dependencies(tk_bench Trailkeep Trailhook Trailmenu standin_explorer standin_shell)

    add_custom_target(bench
        COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../bench/run-bench.sh ${CMAKE_BINARY_DIR}/tkwine
                ${TK_WINE_ROOT} $<TARGET_FILE_DIR:tk_bench> ${CMAKE_BINARY_DIR}/bench-out
        USES_TERMINAL VERBATIM)
    add_dependencies(bench tk_bench tk_bench_hook)
else()
    add_custom_target(bench
        COMMAND ${CMAKE_COMMAND} -E echo "bench: valgrind is missing (bash scripts/install-deps.sh)"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()


# Tests of a Windows cross build run under Wine, in a prefix of their own inside the build folder, so
# that they neither see nor change the user's ~/.wine. Nothing may wait for a person: no debugger, no
# offer to install Mono or Gecko.
set(HOTFIX_WINE_PREFIX "${CMAKE_BINARY_DIR}/wineprefix")
set(HOTFIX_WINE_ENVIRONMENT
    "WINEPREFIX=${HOTFIX_WINE_PREFIX}"
    "WINEDEBUG=-all"
    "WINEDLLOVERRIDES=mscoree,mshtml=")
# The Qt DLLs of a build with the windows (scripts/build-qt-mingw.sh), found through Wine's PATH.
if(HOTFIX_QT_MINGW)
    string(REPLACE "/" "\\" qtBinFolder "Z:${HOTFIX_QT_MINGW}/bin")
    list(APPEND HOTFIX_WINE_ENVIRONMENT "WINEPATH=${qtBinFolder}")
endif()

# Wine's file calls are slow enough on a disk; the tests' temporary folders go to a memory file system
# where there is one.
set(HOTFIX_WINE_TEMP_FOLDER "")
if(CMAKE_HOST_SYSTEM_NAME STREQUAL "Linux" AND IS_DIRECTORY /dev/shm)
    string(MD5 buildHash "${CMAKE_BINARY_DIR}")
    string(SUBSTRING "${buildHash}" 0 12 buildHash)
    set(HOTFIX_WINE_TEMP_FOLDER "/dev/shm/hotfix-wine-${buildHash}")
endif()

# Creates the prefix (or brings it up to date) before any test starts a program in it. Every folder that
# registers tests includes this file, but the prefix must be made by one test only: two wineboot runs at
# once in one prefix race for its server and one of them fails.
get_property(prefixTestAdded GLOBAL PROPERTY HOTFIX_WINE_PREFIX_TEST_ADDED)
if(NOT prefixTestAdded)
    set_property(GLOBAL PROPERTY HOTFIX_WINE_PREFIX_TEST_ADDED TRUE)
    find_program(HOTFIX_BASH bash REQUIRED)
    add_test(NAME wine_prefix
        COMMAND "${HOTFIX_BASH}" "${CMAKE_CURRENT_LIST_DIR}/hotfix-wine-prefix.sh" setup
                "${CMAKE_CROSSCOMPILING_EMULATOR}" "${HOTFIX_WINE_TEMP_FOLDER}")
    set_tests_properties(wine_prefix PROPERTIES
        FIXTURES_SETUP wine_prefix
        TIMEOUT 600
        ENVIRONMENT "${HOTFIX_WINE_ENVIRONMENT}")
    add_test(NAME wine_server_end
        COMMAND "${HOTFIX_BASH}" "${CMAKE_CURRENT_LIST_DIR}/hotfix-wine-prefix.sh" cleanup)
    set_tests_properties(wine_server_end PROPERTIES
        FIXTURES_CLEANUP wine_prefix
        TIMEOUT 180
        ENVIRONMENT "${HOTFIX_WINE_ENVIRONMENT}")
endif()

# Every start of Wine costs time, so a test executable runs as one test with all its cases, except the
# excluded ones (GoogleTest filter patterns), or as one test per shard pattern and one for the rest. A test
# of windows (display set) runs them on Qt's Windows platform plug-in in a Wine desktop on a virtual display.
function(hotfix_add_wine_test name environment excluded shards display)
    if(shards)
        set(index 0)
        foreach(shard IN LISTS shards)
            math(EXPR index "${index} + 1")
            hotfix_add_wine_run(${name}/${index} ${name} "${environment}" "${shard}" "${display}")
        endforeach()
        list(APPEND excluded ${shards})
        hotfix_add_wine_run(${name}/rest ${name} "${environment}" "-${excluded}" "${display}")
        return()
    endif()
    set(filter "")
    if(excluded)
        set(filter "-${excluded}")
    endif()
    hotfix_add_wine_run(${name} ${name} "${environment}" "${filter}" "${display}")
endfunction()

# One test that runs the program's cases the filter selects (GoogleTest filter patterns; all when empty).
function(hotfix_add_wine_run test program environment filter display)
    set(arguments)
    if(filter)
        list(JOIN filter ":" filter)
        set(arguments "--gtest_filter=${filter}")
    endif()
    if(display)
        find_program(HOTFIX_XVFB_RUN xvfb-run REQUIRED)
        add_test(NAME ${test}
            COMMAND ${CMAKE_COMMAND} "-DWINE=${CMAKE_CROSSCOMPILING_EMULATOR}" "-DXVFB_RUN=${HOTFIX_XVFB_RUN}"
                    "-DPROGRAM=$<TARGET_FILE:${program}>" "-DARGUMENTS=${arguments}"
                    -P "${CMAKE_CURRENT_FUNCTION_LIST_DIR}/HotfixWineDesktop.cmake")
    else()
        add_test(NAME ${test} COMMAND ${program} ${arguments})
    endif()
    set_tests_properties(${test} PROPERTIES
        FIXTURES_REQUIRED wine_prefix
        ENVIRONMENT "${environment};${HOTFIX_WINE_ENVIRONMENT}")
endfunction()

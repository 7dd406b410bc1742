include(GoogleTest)
if(CMAKE_CROSSCOMPILING AND WIN32)
    include(HotfixWine)
endif()

# hotfix_add_test(<name> SOURCES <files...> LIBRARIES <targets...> [ENVIRONMENT <VAR=value...>]
#                 [POSIX_ONLY <test patterns...>] [WINE_SHARDS <test patterns...>] [WINDOWS_DISPLAY])
# One test executable per module, with the shared test main, registered with CTest. POSIX_ONLY names cases
# (GoogleTest filter patterns) that cannot arise on Windows, such as a file name with a quote mark; a
# Windows build leaves them out. WINE_SHARDS: under Wine, where an executable is one test, the cases of
# each pattern are a test of their own (and the rest one more), so that long cases share the cores. WINDOWS_DISPLAY: a suite of windows, which a Windows build runs under Wine
# on Qt's Windows platform plug-in and a virtual display instead of the offscreen platform.
function(hotfix_add_test name)
    cmake_parse_arguments(ARG "WINDOWS_DISPLAY" "" "SOURCES;LIBRARIES;ENVIRONMENT;POSIX_ONLY;WINE_SHARDS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} hotfix_test_main hotfix_project_options)
    if(CMAKE_CROSSCOMPILING AND WIN32)
        hotfix_add_wine_test(${name} "${ARG_ENVIRONMENT}" "${ARG_POSIX_ONLY}" "${ARG_WINE_SHARDS}"
                             ${ARG_WINDOWS_DISPLAY})
        return()
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()

# GoogleTest and GoogleMock as GTest::gtest and GTest::gmock. Natively the installed package; a cross
# build compiles them from the sources that Debian's googletest package installs, as no package of them
# exists for the target.
if(CMAKE_CROSSCOMPILING)
    set(HOTFIX_GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources for cross builds")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    add_subdirectory("${HOTFIX_GOOGLETEST_SOURCE_DIR}" "${CMAKE_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL SYSTEM)
    # Their own warnings are theirs to fix.
    set_target_properties(gtest gmock PROPERTIES COMPILE_WARNING_AS_ERROR OFF)
else()
    find_package(GTest REQUIRED)
endif()

# The mingw-w64 cross build with the Qt that scripts/build-qt-mingw.sh makes (HOTFIX_QT_MINGW: its install
# prefix). Qt's packages are found beside the compiler's own; its code generators are the host's, which are
# the same Qt version. Kept apart from the plain toolchain, which the Qt build itself uses and caches by.
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake")

if(HOTFIX_QT_MINGW)
    list(APPEND CMAKE_FIND_ROOT_PATH "${HOTFIX_QT_MINGW}")
    set(QT_HOST_PATH /usr)
    set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake)
endif()

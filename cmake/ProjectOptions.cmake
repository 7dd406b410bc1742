# Warnings and sanitizers as interface targets, linked PRIVATE by every target of ours.

add_library(hotfix_warnings INTERFACE)
if(MSVC)
    target_compile_options(hotfix_warnings INTERFACE /W4 /permissive-)
else()
    target_compile_options(hotfix_warnings INTERFACE
        -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast -Wcast-align
        -Woverloaded-virtual -Wconversion -Wsign-conversion -Wnull-dereference -Wdouble-promotion
        -Wformat=2 -Wimplicit-fallthrough)
endif()

add_library(hotfix_sanitizers INTERFACE)
if(HOTFIX_SANITIZE)
    target_compile_options(hotfix_sanitizers INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    target_link_options(hotfix_sanitizers INTERFACE -fsanitize=address,undefined)
endif()

add_library(hotfix_project_options INTERFACE)
target_link_libraries(hotfix_project_options INTERFACE hotfix_warnings hotfix_sanitizers)

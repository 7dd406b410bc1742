# cmake -DWINE=<wine> -DXVFB_RUN=<xvfb-run> -DPROGRAM=<program.exe> [-DARGUMENTS=<list>] -P HotfixWineDesktop.cmake,
# with WINEPREFIX set: runs a test program on Qt's Windows platform plug-in, so that Wine's own window code
# draws and places its windows, on a virtual display of its own. Without a window manager Wine maps windows
# only inside a Wine desktop; each program gets a desktop named after itself, so two such tests at once
# neither share nor end each other's.
get_filename_component(program "${PROGRAM}" NAME)
get_filename_component(desktop "${PROGRAM}" NAME_WE)
set(screen 1024x768)
foreach(setting
        "HKCU\\Software\\Wine\\AppDefaults\\${program}\\Explorer;Desktop;${desktop}"
        "HKCU\\Software\\Wine\\Explorer\\Desktops;${desktop};${screen}")
    list(GET setting 0 key)
    list(GET setting 1 value)
    list(GET setting 2 data)
    execute_process(COMMAND "${WINE}" reg add "${key}" /v "${value}" /t REG_SZ /d "${data}" /f
        OUTPUT_QUIET RESULT_VARIABLE result)
    if(NOT result EQUAL 0)
        message(FATAL_ERROR "setting ${key}\\${value} failed: ${result}")
    endif()
endforeach()

# Wine hands WINEQT_* to Windows programs as QT_*; Qt's messages go to the test's output, not the debugger.
# FreeType draws the glyphs whole where Wine's glyph boxes crop them (tools/wine-fonts.sh).
set(ENV{WINEQT_QPA_PLATFORM} windows:fontengine=freetype)
set(ENV{WINEQT_FORCE_STDERR_LOGGING} 1)
execute_process(COMMAND "${XVFB_RUN}" -a -s "-screen 0 ${screen}x24" "${WINE}" "${PROGRAM}" ${ARGUMENTS}
    RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${program} failed: ${result}")
endif()

# cmake -DWINE=<wine> [-DTEMP_FOLDER=<unix folder>] -P HotfixWinePrefix.cmake, with WINEPREFIX set:
# creates the tests' Wine prefix or brings it up to date, points its temporary folder at TEMP_FOLDER and
# starts the prefix's Wine server for all the tests. With -DEND=ON it stops that server.
find_program(WINESERVER NAMES wineserver wineserver-stable PATHS /usr/lib/wine)
if(END)
    if(WINESERVER)
        execute_process(COMMAND "${WINESERVER}" -k OUTPUT_QUIET ERROR_QUIET)
    endif()
    return()
endif()
execute_process(COMMAND "${WINE}" wineboot --init RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    # A fresh prefix's first start can lose a race with a Wine server that is still starting or ending
    # (another Wine program of the same user); once that server has gone, a second start settles it.
    message(STATUS "wineboot failed (${result}); trying once more after the Wine server has ended")
    if(WINESERVER)
        execute_process(COMMAND "${WINESERVER}" -w)
    endif()
    execute_process(COMMAND "${WINE}" wineboot --init RESULT_VARIABLE result)
endif()
if(NOT result EQUAL 0)
    message(FATAL_ERROR "wineboot failed: ${result}")
endif()
if(TEMP_FOLDER)
    file(MAKE_DIRECTORY "${TEMP_FOLDER}")
    string(REPLACE "/" "\\" windowsFolder "Z:${TEMP_FOLDER}")
    foreach(variable TEMP TMP)
        execute_process(
            COMMAND "${WINE}" reg add "HKCU\\Environment" /v ${variable} /t REG_SZ /d "${windowsFolder}" /f
            OUTPUT_QUIET RESULT_VARIABLE result)
        if(NOT result EQUAL 0)
            message(FATAL_ERROR "setting ${variable} failed: ${result}")
        endif()
    endforeach()
endif()

# A Wine server, and the services Wine starts beside it, started by a test's own Wine would inherit that
# test's output and keep ctest waiting on it for as long as any other test keeps them alive. They are
# started here instead, writing nowhere, and serve every test until the cleanup stops them.
if(WINESERVER)
    execute_process(COMMAND "${WINESERVER}" -k OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND "${WINESERVER}" -w OUTPUT_QUIET ERROR_QUIET)
    execute_process(COMMAND "${WINESERVER}" -p
        INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
    execute_process(COMMAND "${WINE}" wineboot
        INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
endif()

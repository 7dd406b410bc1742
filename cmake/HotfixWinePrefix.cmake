# cmake -DWINE=<wine> [-DTEMP_FOLDER=<unix folder>] -P HotfixWinePrefix.cmake, with WINEPREFIX set:
# creates the tests' Wine prefix or brings it up to date, and points its temporary folder at TEMP_FOLDER.
execute_process(COMMAND "${WINE}" wineboot --init RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    # A fresh prefix's first start can lose a race with a Wine server that is still starting or ending
    # (another Wine program of the same user); once that server has gone, a second start settles it.
    message(STATUS "wineboot failed (${result}); trying once more after the Wine server has ended")
    find_program(WINESERVER NAMES wineserver wineserver-stable PATHS /usr/lib/wine)
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

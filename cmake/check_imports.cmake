# Fails when the executable's import table names a library that is meant to
# be loaded at its first call (VELLO_DELAY_LOADED in CMakeLists.txt): such a
# library would be loaded, with everything it pulls in, before the program's
# first line runs.
#   cmake -DOBJDUMP=... -DEXE=... -DDELAYED="shell32;comdlg32" -P check_imports.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()
string(REGEX MATCHALL "DLL Name: [^\n]+" names "${dump}")
if(NOT names)
  message(FATAL_ERROR "no import table found in ${EXE}")
endif()
set(wrong)
foreach(entry ${names})
  string(REPLACE "DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" dll)
  message(STATUS "imported at start: ${dll}")
  foreach(delayed ${DELAYED})
    if(dll STREQUAL "${delayed}.dll")
      list(APPEND wrong ${dll})
    endif()
  endforeach()
endforeach()
if(wrong)
  message(FATAL_ERROR "${EXE} imports ${wrong} at start, though loaded at the first call: "
                      "a function it calls is missing from cmake/delay_load/<library>.def")
endif()

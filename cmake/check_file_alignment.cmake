# Fails when the executable's sections are not page-aligned in the file:
# Wine then copies the whole image, debugging information included, into
# memory at every start instead of mapping it.
#   cmake -DOBJDUMP=... -DEXE=... -P check_file_alignment.cmake
execute_process(COMMAND ${OBJDUMP} -p ${EXE} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p ${EXE} failed")
endif()
if(NOT dump MATCHES "FileAlignment[ \t]+([0-9a-fA-F]+)")
  message(FATAL_ERROR "no FileAlignment in the header of ${EXE}")
endif()
math(EXPR alignment "0x${CMAKE_MATCH_1}")
message(STATUS "file alignment of ${EXE}: ${alignment}")
if(alignment LESS 4096)
  message(FATAL_ERROR "${EXE} aligns its sections to ${alignment} bytes in the file, less than a page")
endif()

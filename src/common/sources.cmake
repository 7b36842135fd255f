# Shared portable helpers: CP932 text, errors, paths beside the executable, files.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/sjis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp
)
# The one place core text meets the file system: CP932 paths become the
# system's own (UTF-16 on Windows), one leaf per kind of system.
if(WIN32)
  list(APPEND VELLO_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/native_path_win32.cpp)
else()
  list(APPEND VELLO_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/native_path_posix.cpp)
endif()

# Shared portable helpers: CP932 text, errors, paths beside the executable, files.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/sjis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp
)
# Where core meets the file system, one leaf per kind of system: a path (the
# system's own, UTF-16 on Windows) shown as CP932 text in messages, the
# system's error numbers, and the lock, flush and rename of a safe
# whole-file write.
if(WIN32)
  list(APPEND VELLO_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/native_path_win32.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/native_file_win32.cpp)
else()
  list(APPEND VELLO_CORE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/native_path_posix.cpp
                                 ${CMAKE_CURRENT_LIST_DIR}/native_file_posix.cpp)
endif()

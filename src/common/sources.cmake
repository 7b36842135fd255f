# Shared portable helpers: CP932 text, errors, paths beside the executable, files.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/sjis.cpp
  ${CMAKE_CURRENT_LIST_DIR}/text_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_paths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/file_io.cpp
)

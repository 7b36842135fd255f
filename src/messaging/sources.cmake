# messaging sources
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/message_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_entry.cpp
)

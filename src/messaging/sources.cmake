# messaging sources
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/message_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_entry.cpp
)
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/balloon_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_receive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_send.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_balloon.cpp
)

# The message line, the look it carries and the log.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/message_look.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_line.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_entry.cpp
)
# The inbox and the outbox (the journeys of a received and a sent message),
# balloons, the outgoing connections, senders' names, the received log and
# the log's date-time text in the user's formats.
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/balloon_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/balloons.cpp
  ${CMAKE_CURRENT_LIST_DIR}/send_attempts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/inbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/outbox.cpp
  ${CMAKE_CURRENT_LIST_DIR}/waiting_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sender_names.cpp
  ${CMAKE_CURRENT_LIST_DIR}/received_log.cpp
  ${CMAKE_CURRENT_LIST_DIR}/log_date_time.cpp
)
# Messages that wait for their receiver: the record and its file, and when
# each is tried again.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/waiting_message.cpp
  ${CMAKE_CURRENT_LIST_DIR}/waiting_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/retry_plan.cpp
  ${CMAKE_CURRENT_LIST_DIR}/waiting_list.cpp
)

# Scheduled messages: the record, the schedule file and the scheduler's time rules.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/schedule_entry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/schedule_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/schedule_clock.cpp
)
# The scheduler: the entries' owner, its timer and the hand-over to the sender.
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/scheduler.cpp
)

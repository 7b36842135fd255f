# The thin Win32 layer: it knows nothing of the program.
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/win_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/error_display.cpp
  ${CMAKE_CURRENT_LIST_DIR}/executable_path.cpp
  ${CMAKE_CURRENT_LIST_DIR}/socket_error.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tcp_server.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tcp_client.cpp
  ${CMAKE_CURRENT_LIST_DIR}/background_work.cpp
  ${CMAKE_CURRENT_LIST_DIR}/name_lookup.cpp
  ${CMAKE_CURRENT_LIST_DIR}/multicast_socket.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_interfaces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/host_lookups.cpp
  ${CMAKE_CURRENT_LIST_DIR}/computer_name.cpp
  ${CMAKE_CURRENT_LIST_DIR}/media_player.cpp
  ${CMAKE_CURRENT_LIST_DIR}/notify_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/colors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/fonts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/clock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/locale_format.cpp
  ${CMAKE_CURRENT_LIST_DIR}/controls.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_folders.cpp
  ${CMAKE_CURRENT_LIST_DIR}/com_apartment.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_link.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shell_execute.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timing_points.cpp
)

# The program's shell: entry, main window, tray and working mode, composer tools.
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/application_window.cpp
  ${CMAKE_CURRENT_LIST_DIR}/composer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/tray_icon.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_tray.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_composer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_send.cpp
  ${CMAKE_CURRENT_LIST_DIR}/main_form_receive.cpp
  ${CMAKE_CURRENT_LIST_DIR}/vello_app.cpp
)

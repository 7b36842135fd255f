# Address book, destination list, several destinations in one box and the
# network computer walk.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/address_book.cpp
  ${CMAKE_CURRENT_LIST_DIR}/destinations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/destination_list.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_computers.cpp
)
# Profile (.ini) file object and the fixed phrase store on top of it.
list(APPEND VELLO_CORE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/ini_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phrase_store.cpp
  ${CMAKE_CURRENT_LIST_DIR}/settings_keys.cpp
)
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/settings_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/setup_form.cpp
  ${CMAKE_CURRENT_LIST_DIR}/network_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/general_page1.cpp
  ${CMAKE_CURRENT_LIST_DIR}/general_page2.cpp
  ${CMAKE_CURRENT_LIST_DIR}/destinations_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/phrases_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/stored_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/timer_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/version_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/shortcuts.cpp
)

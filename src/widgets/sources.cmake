# widgets sources
# The link label of the settings dialog's version page.
list(APPEND VELLO_WIN_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/click_label.cpp
)

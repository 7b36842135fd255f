# vello-send: the command-line sender, built from the core in both builds
# (vello-send natively, vello-send.exe with MinGW).
set(VELLO_SEND_DIR ${CMAKE_CURRENT_LIST_DIR}/vello_send)
add_library(vello_send_lib STATIC
  ${VELLO_SEND_DIR}/send_options.cpp
  ${VELLO_SEND_DIR}/text_convert.cpp
  ${VELLO_SEND_DIR}/vello_send.cpp
)
target_include_directories(vello_send_lib PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(vello_send_lib PUBLIC vello_core)
if(WIN32)
  target_sources(vello_send_lib PRIVATE
    ${VELLO_SEND_DIR}/text_convert_win32.cpp
    ${VELLO_SEND_DIR}/net_client_win32.cpp)
  target_link_libraries(vello_send_lib PUBLIC ws2_32)
else()
  target_sources(vello_send_lib PRIVATE
    ${VELLO_SEND_DIR}/text_convert_posix.cpp
    ${VELLO_SEND_DIR}/net_client_posix.cpp)
endif()

add_executable(vello-send ${VELLO_SEND_DIR}/main.cpp)
target_link_libraries(vello-send PRIVATE vello_send_lib)
if(WIN32)
  # wmain: the arguments arrive as UTF-16, whatever the console's code page.
  target_link_options(vello-send PRIVATE -municode)
endif()

# The core tests cover argument parsing, text conversion and a loopback
# send; the Win32 tests the system's conversion tables and Winsock.
if(TARGET core_tests)
  target_link_libraries(core_tests PRIVATE vello_send_lib)
  # One test runs the program itself, with a standard input it cannot read.
  add_dependencies(core_tests vello-send)
  target_compile_definitions(core_tests PRIVATE VELLO_SEND_EXE="$<TARGET_FILE:vello-send>")
endif()
if(TARGET win_tests)
  target_link_libraries(win_tests PRIVATE vello_send_lib)
  # One test runs vello-send.exe, which lies beside win_tests.exe.
  add_dependencies(win_tests vello-send)
endif()
if(NOT WIN32)
  # GCC's runtime libraries inside, as in vello-send.exe: the Linux package
  # then needs nothing of the system but the C library.
  target_link_options(vello-send PRIVATE -static-libstdc++ -static-libgcc)
endif()

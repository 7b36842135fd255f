# The end-to-end harness: the real vello.exe in a fresh folder, driven from
# outside by a driver program and by raw bytes on a socket. The driver loads
# the menu agent into the program's process to read its real menus.
add_library(e2e_menu_agent SHARED tests/e2e/menu_agent.cpp)
set_target_properties(e2e_menu_agent PROPERTIES PREFIX "")
target_compile_options(e2e_menu_agent PRIVATE -Wall -Wextra -finput-charset=UTF-8)
target_compile_definitions(e2e_menu_agent PRIVATE UNICODE _UNICODE)
target_link_options(e2e_menu_agent PRIVATE -static)
target_link_libraries(e2e_menu_agent PRIVATE user32)

add_executable(e2e_driver tests/e2e/driver.cpp tests/e2e/remote_agent.cpp)
target_compile_options(e2e_driver PRIVATE -Wall -Wextra -finput-charset=UTF-8)
target_compile_definitions(e2e_driver PRIVATE UNICODE _UNICODE _WIN32_WINNT=0x0602)
target_link_options(e2e_driver PRIVATE -municode)
target_link_libraries(e2e_driver PRIVATE user32 psapi)
# The agent lies beside the driver, where the driver looks for it.
add_dependencies(e2e_driver e2e_menu_agent)
set_target_properties(e2e_driver e2e_menu_agent PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_test(NAME e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/run_e2e.sh $<TARGET_FILE:vello> $<TARGET_FILE:e2e_driver>)
set_tests_properties(e2e PROPERTIES TIMEOUT 600)

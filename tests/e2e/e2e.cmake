# The end-to-end harness: the real vello.exe in a fresh folder, driven from
# outside by a driver program and by raw bytes on a socket.
add_executable(e2e_driver tests/e2e/driver.cpp)
target_compile_options(e2e_driver PRIVATE -Wall -Wextra -finput-charset=UTF-8)
target_compile_definitions(e2e_driver PRIVATE UNICODE _UNICODE)
target_link_options(e2e_driver PRIVATE -municode)
target_link_libraries(e2e_driver PRIVATE user32)
add_test(NAME e2e
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/e2e/run_e2e.sh $<TARGET_FILE:vello> $<TARGET_FILE:e2e_driver>)
set_tests_properties(e2e PROPERTIES TIMEOUT 600)

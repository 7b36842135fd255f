# Benchmarks, run by hand (bench/run_bench.sh), never by ctest: the floor
# receiver, the measuring peer, and the log append benchmark for Windows.
set(VELLO_BENCH_DIR ${CMAKE_CURRENT_LIST_DIR})

add_executable(minimal_receiver WIN32 ${VELLO_BENCH_DIR}/minimal_receiver.cpp)
add_executable(bench_peer ${VELLO_BENCH_DIR}/bench_peer.cpp)
foreach(target minimal_receiver bench_peer)
  target_compile_options(${target} PRIVATE -Wall -Wextra -finput-charset=UTF-8)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
  target_link_options(${target} PRIVATE -municode)
endforeach()
target_link_libraries(minimal_receiver PRIVATE ws2_32 user32 gdi32)
target_link_libraries(bench_peer PRIVATE ws2_32 user32 psapi)

include(${VELLO_BENCH_DIR}/bench_native.cmake)

# Finding copies: real discovery owners in one process (run_discovery_bench.sh).
add_executable(discovery_bench ${VELLO_BENCH_DIR}/discovery_bench.cpp)
target_link_libraries(discovery_bench PRIVATE vello_win)

# Messages kept for their receiver: real outboxes, many senders in one
# process (run_bench.sh waiting), and the waiting file written with the
# program's own encoder (run_bench.sh waiting_startup).
add_executable(waiting_bench ${VELLO_BENCH_DIR}/waiting_bench.cpp)
target_link_libraries(waiting_bench PRIVATE vello_win psapi)

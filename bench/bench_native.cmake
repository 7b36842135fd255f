# The portable benchmarks (log append, phrase file reading), built in both trees. The cross tree
# includes this file from bench/bench.cmake. The native tree includes it from
# the top-level CMakeLists.txt, or, configured with
#   -DCMAKE_PROJECT_vello_INCLUDE=<this file>
# it is included after project() and defers itself until vello_core exists.
if(NOT TARGET vello_core)
  # EVAL fixes the path now; a deferred call would read the variable later.
  cmake_language(EVAL CODE
    "cmake_language(DEFER DIRECTORY [[${CMAKE_SOURCE_DIR}]] CALL include [[${CMAKE_CURRENT_LIST_FILE}]])")
  return()
endif()
foreach(bench log_append_bench phrase_load_bench)
  if(NOT TARGET ${bench})
    add_executable(${bench} ${CMAKE_CURRENT_LIST_DIR}/${bench}.cpp)
    target_link_libraries(${bench} PRIVATE vello_core)
  endif()
endforeach()

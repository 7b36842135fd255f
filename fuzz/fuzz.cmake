# Fuzz targets for the readers of outside data: the message line, the
# profile (.ini) file, the address book, the schedule file, the file of
# waiting messages, multicast DNS packets and the site DNS server's answers.
#
# Always: each target with a small replay main (fuzz_replay_<target>), run
# by ctest over its committed corpus, so any compiler checks the corpus.
# With -DVELLO_FUZZ=ON and clang: real libFuzzer binaries fuzz_<target>.
set(VELLO_FUZZ_TARGETS message_line ini address_book schedule waiting_file mdns_message site_dns)
set(VELLO_FUZZ_DIR ${CMAKE_CURRENT_LIST_DIR})

add_custom_target(fuzz_replay)
foreach(target ${VELLO_FUZZ_TARGETS})
  add_executable(fuzz_replay_${target} ${VELLO_FUZZ_DIR}/fuzz_${target}.cpp ${VELLO_FUZZ_DIR}/replay_main.cpp)
  target_link_libraries(fuzz_replay_${target} PRIVATE vello_core)
  add_dependencies(fuzz_replay fuzz_replay_${target})
  add_test(NAME fuzz_replay_${target}
           COMMAND fuzz_replay_${target} ${VELLO_FUZZ_DIR}/corpus/${target})
endforeach()

if(VELLO_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "VELLO_FUZZ needs clang: cmake -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang")
  endif()
  # clang knows no execution character set but UTF-8, so in this tree the
  # program's own texts stay UTF-8. The readers being fuzzed compare only
  # ASCII bytes; only the wording of their error texts differs. Use this
  # tree for fuzzing only.
  get_target_property(flags vello_flags INTERFACE_COMPILE_OPTIONS)
  list(REMOVE_ITEM flags -fexec-charset=CP932)
  set_target_properties(vello_flags PROPERTIES INTERFACE_COMPILE_OPTIONS "${flags}")
  # Coverage for everything the targets reach, sanitizers everywhere.
  target_compile_options(vello_flags INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
  target_link_options(vello_flags INTERFACE -fsanitize=address,undefined)

  add_custom_target(fuzzers)
  foreach(target ${VELLO_FUZZ_TARGETS})
    add_executable(fuzz_${target} ${VELLO_FUZZ_DIR}/fuzz_${target}.cpp)
    target_link_libraries(fuzz_${target} PRIVATE vello_core)
    target_link_options(fuzz_${target} PRIVATE -fsanitize=fuzzer)
    add_dependencies(fuzzers fuzz_${target})
  endforeach()
endif()

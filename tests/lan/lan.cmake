# The lab: copies of vello.exe on hosts of a network of their own (network,
# UTS and mount namespaces), driven by the end-to-end driver. Skips itself,
# with one line, where namespaces cannot be made.
add_test(NAME lan
  COMMAND bash ${CMAKE_SOURCE_DIR}/tests/lan/run_lan.sh $<TARGET_FILE:vello> $<TARGET_FILE:e2e_driver>)
set_tests_properties(lan PROPERTIES TIMEOUT 300)

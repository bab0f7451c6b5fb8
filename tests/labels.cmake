# Run by ctest once the tests of the GoogleTest programs are listed (their
# names are known only then), for the labels that gtest_discover_tests cannot
# give as a list: each unit test is labelled unit and its layer's name, and
# the slow end-to-end tests e2e and slow: the file-size sweep (a run for
# every byte offset of the writes) and the browser's renders of the report;
# the fast reader's sweep of every short decimal is slow too.
foreach(layer text os climate siteprep import)
  foreach(test IN LISTS unit_${layer}_TESTS)
    set_tests_properties("${test}" PROPERTIES LABELS "unit;${layer}")
  endforeach()
endforeach()
# Every decimal of -999.999 to 9999.999 through the fast reader: 10 s alone,
# over 30 s on a loaded machine.
foreach(test IN LISTS unit_climate_TESTS)
  if(test STREQUAL "FastDaily.EveryShortDecimalIsStrtofsFloat")
    set_tests_properties("${test}" PROPERTIES LABELS "unit;climate;slow")
  endif()
endforeach()
foreach(test IN LISTS e2e_tests_TESTS)
  if(test MATCHES "^(FaultInjection\\.|Report\\.RendersInABrowser$|Cases/Overview\\.)")
    set_tests_properties("${test}" PROPERTIES LABELS "e2e;slow")
  endif()
endforeach()

tabshift_add_test(engine_dataset_tests
  SOURCES
    ABSMainTableDefsTest.cpp
    ABSRowCopyValuesTest.cpp
  LIBRARIES engine_dataset test_support)

tabshift_add_test(engine_dataset_tests
  SOURCES
    ABSMainFieldExchangeTest.cpp
    ABSMainTableDefsTest.cpp
    ABSMainTableImportTest.cpp
    ABSMainTableTest.cpp
    ABSRowCopyValuesTest.cpp
  LIBRARIES engine_dataset test_support)

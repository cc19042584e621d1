tabshift_add_test(engine_tabledata_tests
  SOURCES
    ABSFieldManagerTest.cpp
    ABSManagerStreamTest.cpp
    ABSMemEngineTest.cpp
    ABSTableDataTest.cpp
    ABSTempEngineTest.cpp
    ABSTempPageManagerTest.cpp
  LIBRARIES engine_tabledata test_support)

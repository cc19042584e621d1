tabshift_add_test(engine_session_tests
  SOURCES
    ABSLocalSessionTest.cpp
    ABSMainDatabaseTest.cpp
    ABSMainSessionTest.cpp
  LIBRARIES engine_session test_support)

tabshift_add_test(engine_session_tests
  SOURCES
    ABSLocalSessionTest.cpp
  LIBRARIES engine_session test_support)

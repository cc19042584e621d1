tabshift_add_test(engine_cursor_tests
  SOURCES
    ABSLocalCursorTest.cpp
    ABSLocalCursorBlobTest.cpp
  LIBRARIES engine_cursor test_support)

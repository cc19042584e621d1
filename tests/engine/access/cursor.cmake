tabshift_add_test(engine_cursor_tests
  SOURCES
    ABSLocalCursorTest.cpp
    ABSLocalCursorBlobTest.cpp
    ABSLocalCursorLockTest.cpp
  LIBRARIES engine_cursor engine_session test_support)

# The engine cursor of the local engine and its BLOB stream.
add_library(engine_cursor STATIC
  ABSBaseCursor.cpp
  ABSLocalBLOBStream.cpp
  ABSLocalCursor.cpp
  ABSLocalCursorBlobs.cpp
  ABSLocalCursorRecords.cpp)
target_link_libraries(engine_cursor PUBLIC engine_tabledata)

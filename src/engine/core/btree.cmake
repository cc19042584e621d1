# B+ tree indexes over the pages of a page manager: record indexes and page directories.
add_library(engine_btree STATIC
  ABSBTree.cpp
  ABSBTreeCheck.cpp
  ABSBTreeController.cpp
  ABSBTreeKey.cpp
  ABSBTreeModify.cpp
  ABSBTreePage.cpp
  ABSBTreePageIndex.cpp
  ABSBTreeRecordIndex.cpp
  ABSBTreeScan.cpp)
target_link_libraries(engine_btree PUBLIC engine_pages engine_core engine_access platform)

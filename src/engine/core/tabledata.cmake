# Table and database data with their managers, and the memory and temporary engines.
add_library(engine_tabledata STATIC
  ABSBTreeTableIndex.cpp
  ABSConstraintManager.cpp
  ABSDatabaseData.cpp
  ABSDatabaseDataList.cpp
  ABSFieldManager.cpp
  ABSInProcessTableData.cpp
  ABSIndexManager.cpp
  ABSMemBlobs.cpp
  ABSMemEngine.cpp
  ABSMemRecordManager.cpp
  ABSTableData.cpp
  ABSTempEngine.cpp
  ABSTempPageManager.cpp
  ABSTempRecordManager.cpp)
target_link_libraries(engine_tabledata PUBLIC engine_btree engine_mempages engine_pages engine_core engine_access)

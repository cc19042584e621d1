# Table and database data with their managers, and the memory engine.
add_library(engine_tabledata STATIC
  ../access/ABSBaseFieldDefs.cpp
  ABSConstraintManager.cpp
  ABSDatabaseData.cpp
  ABSDatabaseDataList.cpp
  ABSFieldManager.cpp
  ABSIndexManager.cpp
  ABSMemBlobs.cpp
  ABSMemEngine.cpp
  ABSMemRecordManager.cpp
  ABSTableData.cpp)
target_link_libraries(engine_tabledata PUBLIC engine_mempages engine_pages engine_core engine_access)

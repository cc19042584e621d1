# The table dataset: TABSDataSet and TABSTable, the definition steps of table creation, the
# exchange of field values with the engine cursor and the row copy of table import.
add_library(engine_dataset STATIC
  ABSMainDataSet.cpp
  ABSMainFieldExchange.cpp
  ABSMainTable.cpp
  ABSMainTableDefs.cpp
  ABSRowCopy.cpp
  ABSRowCopyValues.cpp)
target_link_libraries(engine_dataset PUBLIC engine_session engine_cursor engine_access framework)

# The table dataset: TABSDataSet and TABSTable, the definition steps of table creation and the
# row copy of table import.
add_library(engine_dataset STATIC ABSMainTableDefs.cpp ABSRowCopyValues.cpp)
target_link_libraries(engine_dataset PUBLIC engine_access framework)

# Filtered navigation of the table data: the scan planner and the cursors' filtered orders.
target_sources(engine_tabledata PRIVATE
  ABSFilteredOrder.cpp
  ABSScanPlanner.cpp
  ABSTableNavigation.cpp)

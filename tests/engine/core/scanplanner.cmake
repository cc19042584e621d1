# Tests of filtered navigation through the scan planner.
tabshift_add_test(engine_scanplanner_tests
  SOURCES
    ABSScanPlannerTest.cpp
  LIBRARIES engine_tabledata test_support)

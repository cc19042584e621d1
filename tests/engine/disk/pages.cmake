# Tests of the page manager base, the sorted page lists and the memory engine's page manager.
tabshift_add_test(engine_pages_tests
  SOURCES
    ABSMemPageManagerTest.cpp
    ABSPageManagerTest.cpp
    ABSPageTest.cpp
    ABSSortedPageListTest.cpp
  LIBRARIES engine_mempages)

# The page manager base: pages, sorted page lists, the shared page cache and the per-session
# change sets that every paged engine builds on.
add_library(engine_pages STATIC
  ABSPage.cpp
  ABSPageManager.cpp
  ABSSortedPageList.cpp)
target_link_libraries(engine_pages PUBLIC engine_core engine_access platform)

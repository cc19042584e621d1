# The memory engine's page manager, built on the page manager base.
add_library(engine_mempages STATIC ABSMemPageManager.cpp)
target_link_libraries(engine_mempages PUBLIC engine_pages engine_core)

# The dataset base: datasets, their fields and field value conversions.
target_sources(framework PRIVATE DataSet.cpp Field.cpp)

# Tests of the dataset base, with a small dataset whose rows live in a vector.
target_sources(framework_tests PRIVATE DataSetTest.cpp FieldTest.cpp)

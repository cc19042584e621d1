# Tests of the B+ tree indexes.
tabshift_add_test(engine_btree_tests
  SOURCES
    ABSBTreeControllerTest.cpp
    ABSBTreeKeyTest.cpp
    ABSBTreeModelTest.cpp
    ABSBTreePageIndexTest.cpp
    ABSBTreeScanTest.cpp
    ABSBTreeTest.cpp
  LIBRARIES engine_btree engine_mempages test_support)

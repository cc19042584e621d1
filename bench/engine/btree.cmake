# Benchmarks of the B+ tree indexes.
tabshift_add_benchmark(engine_btree_bench SOURCES BTreeBench.cpp LIBRARIES engine_btree engine_mempages)

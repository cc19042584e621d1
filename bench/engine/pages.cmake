# Benchmarks of the page manager.
tabshift_add_benchmark(engine_pages_bench SOURCES PageManagerBench.cpp LIBRARIES engine_mempages)

# Navigation core benchmarks: one GGA parse with both conversions, framing and
# parsing over the whole receiver corpus, each beside its floor, and reading full
# configuration files.
velkar_add_bench(core_bench ${CMAKE_CURRENT_LIST_DIR}/core_bench.cpp ${CMAKE_CURRENT_LIST_DIR}/parse_floor.cpp LIBS velkar_core)

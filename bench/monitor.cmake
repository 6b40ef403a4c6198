atalaia_add_bench(monitor_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/MonitorBench.cpp LIBS atalaia_clients)

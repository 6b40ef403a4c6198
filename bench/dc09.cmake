atalaia_add_bench(dc09_ack_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Dc09AckBench.cpp LIBS atalaia_device)

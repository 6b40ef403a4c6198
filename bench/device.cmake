atalaia_add_bench(ack_round_trip_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/AckRoundTripBench.cpp LIBS atalaia_device)

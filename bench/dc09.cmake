atalaia_add_bench(dc09_ack_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Dc09AckBench.cpp LIBS atalaia_device)
atalaia_add_bench(dc09_receiver_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Dc09ReceiverBench.cpp LIBS atalaia_device)
target_include_directories(dc09_receiver_bench PRIVATE ${CMAKE_SOURCE_DIR})

atalaia_add_bench(multicom_sessions_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/MulticomSessionsBench.cpp
                  LIBS atalaia_device Qt6::Network)

# A burst of alarms at the atalaia program, headless and with its window side by side (run by hand: burst_bench).
atalaia_add_bench(burst_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/BurstBench.cpp LIBS atalaia_device)
target_compile_definitions(burst_bench PRIVATE STATION_SIM_PATH="$<TARGET_FILE:station-sim>"
                                               ATALAIA_PATH="$<TARGET_FILE:atalaia>")
add_dependencies(burst_bench station-sim atalaia)

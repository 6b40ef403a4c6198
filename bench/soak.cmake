# The soak run of the whole receiver against station-sim (run by hand: soak_bench --seconds N).
atalaia_add_bench(soak_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/SoakBench.cpp
                  LIBS atalaia_shell_ui atalaia_shell Qt6::Widgets Qt6::Network)
target_compile_definitions(soak_bench PRIVATE STATION_SIM_PATH="$<TARGET_FILE:station-sim>")
add_dependencies(soak_bench station-sim)

atalaia_add_bench(events_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/EventsBench.cpp
    LIBS atalaia_events_ui atalaia_events atalaia_common_ui atalaia_clients atalaia_common Qt6::Widgets)
target_compile_definitions(events_bench PRIVATE ATALAIA_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

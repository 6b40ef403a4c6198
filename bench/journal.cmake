atalaia_add_bench(journal_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/JournalBench.cpp
    LIBS atalaia_device atalaia_events atalaia_clients atalaia_common Qt6::Network)

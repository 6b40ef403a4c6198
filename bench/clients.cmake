atalaia_add_bench(client_list_save_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ClientListSaveBench.cpp LIBS atalaia_clients)
atalaia_add_bench(client_pages_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ClientPagesBench.cpp
    LIBS atalaia_shell_ui Qt6::Widgets)

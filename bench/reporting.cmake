atalaia_add_bench(reporting_bench SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ReportingBench.cpp
                  LIBS atalaia_events atalaia_reporting Qt6::Network Qt6::SerialPort util)

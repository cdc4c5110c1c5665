add_executable(registry_bench ${CMAKE_CURRENT_SOURCE_DIR}/RegistryBench.cpp)
target_link_libraries(registry_bench PRIVATE velloc_bridge velloc_value_store SQLite::SQLite3
  benchmark::benchmark velloc_warnings)

add_executable(listfiles_bench ${CMAKE_CURRENT_SOURCE_DIR}/ListFilesBench.cpp)
target_link_libraries(listfiles_bench PRIVATE velloc_bridge benchmark::benchmark velloc_warnings)

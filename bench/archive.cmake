add_executable(archive_bench ${CMAKE_CURRENT_SOURCE_DIR}/ArchiveBench.cpp)
target_link_libraries(archive_bench PRIVATE velloc_archive benchmark::benchmark velloc_warnings)

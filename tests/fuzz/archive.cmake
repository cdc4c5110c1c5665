velloc_fuzz_target(archive_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ArchiveFuzz.cpp
  LIBS velloc_archive
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/archive)

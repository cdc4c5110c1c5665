# Update manifests and the state file beside the executable: bytes from the network and the disk.
velloc_fuzz_target(manifest_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ManifestFuzz.cpp
  LIBS velloc_update
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/manifest)

velloc_fuzz_target(bridge_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/BridgeFuzz.cpp
  LIBS velloc_bridge
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/bridge)

# The configuration text: arbitrary bytes in any encoding.
velloc_fuzz_target(config_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/ConfigFuzz.cpp
  LIBS velloc_config
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/config)

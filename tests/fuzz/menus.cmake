velloc_fuzz_target(menus_fuzz
  SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/MenuFuzz.cpp
  LIBS velloc_bridge velloc_platform_fake
  CORPUS ${CMAKE_CURRENT_SOURCE_DIR}/corpus/menus)

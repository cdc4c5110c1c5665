# The runtime's reference program: a minimal WebKitGTK host (scripts/bench-runtime.sh runs both).
if(VELLOC_GUI)
  add_executable(minimal-webkit-host ${CMAKE_CURRENT_LIST_DIR}/runtime/MinimalWebKitHost.cpp)
  target_link_libraries(minimal-webkit-host PRIVATE PkgConfig::WEBKITGTK)
  set_target_properties(minimal-webkit-host PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${VELLOC_BIN_DIR})
endif()

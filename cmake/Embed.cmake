# velloc_embed_text(TARGET NAME FILE): compiles FILE into TARGET as
#   namespace velloc::embedded { extern const std::string_view NAME; }
# so scripts ship inside the binary and are read without touching the disk.
set(VELLOC_EMBED_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/EmbedText.cmake)
function(velloc_embed_text target name file)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/embedded_${name}.cpp)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${file} -DOUTPUT=${out} -DNAME=${name} -P ${VELLOC_EMBED_SCRIPT}
    DEPENDS ${file} ${VELLOC_EMBED_SCRIPT}
    COMMENT "Embedding ${name}")
  target_sources(${target} PRIVATE ${out})
endfunction()

# trelliken_embed_wgsl(<target> <base_dir> <files...>)
# Embeds each WGSL file as text in the target, looked up at run time by its path relative to
# <base_dir> through embedded_wgsl() (see src/shaders/embedded_wgsl.hpp).
function(trelliken_embed_wgsl target base_dir)
  set(out "${CMAKE_CURRENT_BINARY_DIR}/${target}_embedded_wgsl.cpp")
  set(script "${PROJECT_SOURCE_DIR}/cmake/EmbedWgsl.cmake")
  set(rel_list "")
  foreach(f IN LISTS ARGN)
    file(RELATIVE_PATH rel "${base_dir}" "${f}")
    list(APPEND rel_list "${rel}")
  endforeach()
  add_custom_command(
    OUTPUT "${out}"
    COMMAND ${CMAKE_COMMAND} -DOUT=${out} -DBASE=${base_dir} "-DFILES=${rel_list}" -P "${script}"
    DEPENDS ${ARGN} "${script}"
    COMMENT "Embedding WGSL sources for ${target}"
    VERBATIM)
  target_sources(${target} PRIVATE "${out}")
endfunction()

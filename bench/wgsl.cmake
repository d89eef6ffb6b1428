target_link_libraries(bench_${name} PRIVATE trelliken_wgsl)

# The host reference for matrix multiply is OpenBLAS's sgemm.
find_library(TRELLIKEN_OPENBLAS NAMES openblas PATHS /usr/lib/x86_64-linux-gnu/openblas-pthread REQUIRED)
find_path(TRELLIKEN_CBLAS_INCLUDE cblas.h PATHS /usr/include/x86_64-linux-gnu/openblas-pthread REQUIRED NO_DEFAULT_PATH)
target_include_directories(bench_${name} PRIVATE "${TRELLIKEN_CBLAS_INCLUDE}")
target_link_libraries(bench_${name} PRIVATE "${TRELLIKEN_OPENBLAS}")

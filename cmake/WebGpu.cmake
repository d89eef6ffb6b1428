# The prebuilt WebGPU implementation fetched by scripts/setup.sh. It carries no SONAME, so it is
# linked by name and found through the rpath, both in the build tree and after installation.
set(TRELLIKEN_WEBGPU_DIR "${PROJECT_SOURCE_DIR}/third_party/webgpu" CACHE PATH
    "Folder holding libwebgpu_wrapper.so")
set(TRELLIKEN_WEBGPU_LIBRARY "${TRELLIKEN_WEBGPU_DIR}/libwebgpu_wrapper.so")
if(NOT EXISTS "${TRELLIKEN_WEBGPU_LIBRARY}")
  message(FATAL_ERROR "WebGPU library not found at ${TRELLIKEN_WEBGPU_LIBRARY}; run scripts/setup.sh first")
endif()
add_library(webgpu_dawn SHARED IMPORTED GLOBAL)
set_target_properties(webgpu_dawn PROPERTIES
  IMPORTED_LOCATION "${TRELLIKEN_WEBGPU_LIBRARY}"
  IMPORTED_NO_SONAME TRUE)
install(FILES "${TRELLIKEN_WEBGPU_LIBRARY}" DESTINATION "${CMAKE_INSTALL_LIBDIR}")

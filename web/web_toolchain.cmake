# What the WebAssembly build takes from Debian: header-only libraries only (Eigen, tinygltf with
# nlohmann-json and stb_image, tinyobjloader). Each is linked into one folder so that the
# compiler sees those headers and none of the host's C library beside them.
set(TOVRAK_WEB_HEADERS ${PROJECT_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${TOVRAK_WEB_HEADERS})
foreach(pair "Eigen=/usr/include/eigen3/Eigen" "unsupported=/usr/include/eigen3/unsupported"
             "nlohmann=/usr/include/nlohmann" "tiny_gltf.h=/usr/include/tiny_gltf.h"
             "tiny_obj_loader.h=/usr/include/tiny_obj_loader.h" "stb_image.h=/usr/include/stb/stb_image.h")
  string(REPLACE "=" ";" parts ${pair})
  list(GET parts 0 name)
  list(GET parts 1 target)
  if(NOT EXISTS ${target})
    message(FATAL_ERROR "${target} is missing: run scripts/install-deps.sh --web")
  endif()
  file(CREATE_LINK ${target} ${TOVRAK_WEB_HEADERS}/${name} SYMBOLIC)
endforeach()

add_library(Eigen3::Eigen INTERFACE IMPORTED)
set_target_properties(Eigen3::Eigen PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${TOVRAK_WEB_HEADERS})
add_library(Threads::Threads INTERFACE IMPORTED)
add_compile_options(-msimd128)
# -O2, not -O3: the browsers' compilers do less well with the very large functions -O3's inlining
# makes; the chain with the pose measured 1.5 times faster at -O2 (docs/benchmarks.md).
set(CMAKE_C_FLAGS_RELEASE "-O2 -DNDEBUG")
set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")

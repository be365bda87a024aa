# One static library per layer. Sources are collected from the layer's folder
# (and its subfolders), so adding a file needs no edit here. A layer without
# sources yet is an interface library.
function(dezede_layer name dir)
  file(GLOB_RECURSE _srcs CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(_srcs)
    add_library(${name} STATIC ${_srcs})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} PUBLIC ${ARGN})
  else()
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR})
    target_link_libraries(${name} INTERFACE ${ARGN})
  endif()
endfunction()

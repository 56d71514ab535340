# nereval_module(<folder> [DEPS lib...] [EXCLUDE file.cpp...]): the static
# library nrv_<folder> from every .cpp file in the folder but the excluded
# ones. A folder without sources yet becomes an interface library so
# dependants link the same way.
function(nereval_module folder)
  cmake_parse_arguments(ARG "" "" "DEPS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  if(sources)
    add_library(nrv_${folder} STATIC ${sources})
    target_link_libraries(nrv_${folder} PUBLIC ${ARG_DEPS})
  else()
    add_library(nrv_${folder} INTERFACE)
    target_link_libraries(nrv_${folder} INTERFACE ${ARG_DEPS})
  endif()
endfunction()

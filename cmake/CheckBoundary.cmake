# cmake -DROOT=<source dir> [-DSTAMP=<file>] -P CheckBoundary.cmake
#
# Fails when a file of the program above platform/ reaches a header that is
# not the C++ standard library's, directly or through the quoted includes it
# pulls in (platform/'s public headers among them). Only platform/ sources and
# its internal headers may include SDL, GL, FluidSynth, GTK, FreeType, stb or
# X11, so that the rest of the program sees only the platform's own layers.
# Standard headers are the ones without an extension or folder (<cstring>,
# <vector>); anything else (<SDL.h>, <GL/gl.h>, <unistd.h>) is refused.
cmake_minimum_required(VERSION 3.22)
if(NOT ROOT)
  message(FATAL_ERROR "CheckBoundary: ROOT not set")
endif()
set(upper shell flock scene render view music settings core)
# The layers: a file includes its own folder's headers and those of folders
# below it in this order, never one above (no loops between folders). The
# flock only simulates: it reads the obstacles' hulls (scene/) and sets the
# camera (view/), but includes nothing of the renderer.
set(layers ${upper} platform)
set(forbidden "flock>render")

# The quoted and angle includes of one file, read once.
function(includes_of file quoted_out angle_out)
  get_property(done GLOBAL PROPERTY "inc_done_${file}" SET)
  if(NOT done)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    set(quoted "")
    set(angle "")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
        list(APPEND quoted "${CMAKE_MATCH_1}")
      elseif(line MATCHES "#[ \t]*include[ \t]*<([^>]+)>")
        list(APPEND angle "${CMAKE_MATCH_1}")
      endif()
    endforeach()
    set_property(GLOBAL PROPERTY "inc_done_${file}" TRUE)
    set_property(GLOBAL PROPERTY "inc_quoted_${file}" "${quoted}")
    set_property(GLOBAL PROPERTY "inc_angle_${file}" "${angle}")
  endif()
  get_property(q GLOBAL PROPERTY "inc_quoted_${file}")
  get_property(a GLOBAL PROPERTY "inc_angle_${file}")
  set(${quoted_out} "${q}" PARENT_SCOPE)
  set(${angle_out} "${a}" PARENT_SCOPE)
endfunction()

set(failures "")        # third-party headers reached
set(order_failures "")  # includes against the layers
foreach(folder IN LISTS upper)
  list(FIND layers "${folder}" own)
  file(GLOB_RECURSE sources "${ROOT}/${folder}/*.cpp" "${ROOT}/${folder}/*.h")
  foreach(start IN LISTS sources)
    file(RELATIVE_PATH start_rel "${ROOT}" "${start}")
    # `start`'s own includes keep to the layers.
    includes_of("${start}" quoted angle)
    foreach(name IN LISTS quoted)
      if(NOT name MATCHES "^([a-z]+)/")
        continue()
      endif()
      set(target "${CMAKE_MATCH_1}")
      list(FIND layers "${target}" other)
      if(other GREATER_EQUAL 0 AND other LESS own)
        list(APPEND order_failures "${start_rel} includes ${name}, a layer above it")
      elseif("${folder}>${target}" IN_LIST forbidden)
        list(APPEND order_failures "${start_rel} includes ${name}: ${folder}/ may not include ${target}/")
      endif()
    endforeach()
    # Walk the quoted includes from `start`; `via` remembers how each was reached.
    set(queue "${start}")
    set(seen "${start}")
    set("via_${start}" "${start_rel}")
    while(queue)
      list(POP_FRONT queue file)
      includes_of("${file}" quoted angle)
      foreach(header IN LISTS angle)
        if(NOT header MATCHES "^[a-z_]+$")
          list(APPEND failures "${via_${file}} includes <${header}>")
        endif()
      endforeach()
      get_filename_component(dir "${file}" DIRECTORY)
      foreach(name IN LISTS quoted)
        if(EXISTS "${ROOT}/${name}")
          set(next "${ROOT}/${name}")
        elseif(EXISTS "${dir}/${name}")
          set(next "${dir}/${name}")
        else()
          continue()
        endif()
        get_filename_component(next "${next}" REALPATH)
        if(NOT next IN_LIST seen)
          list(APPEND seen "${next}")
          list(APPEND queue "${next}")
          set("via_${next}" "${via_${file}} -> ${name}")
        endif()
      endforeach()
    endwhile()
  endforeach()
endforeach()

if(failures)
  list(REMOVE_DUPLICATES failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "Third-party headers reached from above platform/ (only platform/ may include them):\n  ${text}")
endif()
if(order_failures)
  list(JOIN order_failures "\n  " text)
  message(FATAL_ERROR "Includes against the layers (${layers}, downward only):\n  ${text}")
endif()

if(STAMP)
  file(TOUCH "${STAMP}")
endif()

# nereval_embed(<target> <manifest>...): a static library holding every file
# named in the manifests, built into the executable with `.incbin`, and the
# table that platform/os/resource.cpp searches by name and type.
#
# Manifest lines: `NAME TYPE FILE` (FILE relative to the manifest's folder);
# blank lines and lines starting with # are skipped.
function(nereval_embed target)
  set(gen_dir ${CMAKE_CURRENT_BINARY_DIR}/${target}_gen)
  file(MAKE_DIRECTORY ${gen_dir})
  # With -fcf-protection the note that marks the object CET-ready, as the
  # compiler writes for C and C++ objects.
  set(asm "#ifdef __CET__\n#include <cet.h>\n#endif\n\t.section .rodata\n")
  set(decls "")
  set(rows "")
  set(deps "")
  set(index 0)
  foreach(manifest ${ARGN})
    get_filename_component(manifest ${manifest} ABSOLUTE)
    get_filename_component(base ${manifest} DIRECTORY)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
    file(STRINGS ${manifest} lines)
    foreach(line ${lines})
      string(STRIP "${line}" line)
      if(line STREQUAL "" OR line MATCHES "^#")
        continue()
      endif()
      string(REGEX REPLACE "[ \t]+" ";" fields "${line}")
      list(LENGTH fields n)
      if(NOT n EQUAL 3)
        message(FATAL_ERROR "${manifest}: expected `NAME TYPE FILE`, got `${line}`")
      endif()
      list(GET fields 0 name)
      list(GET fields 1 type)
      list(GET fields 2 file)
      set(path ${base}/${file})
      if(NOT EXISTS ${path})
        message(FATAL_ERROR "${manifest}: ${path} does not exist")
      endif()
      list(APPEND deps ${path})
      string(APPEND asm "\t.balign 16\n\t.globl nrv_res_${index}\nnrv_res_${index}:\n\t.incbin \"${path}\"\n\t.globl nrv_res_${index}_end\nnrv_res_${index}_end:\n\t.byte 0\n")
      string(APPEND decls "extern \"C\" const unsigned char nrv_res_${index}[], nrv_res_${index}_end[];\n")
      string(APPEND rows "    {\"${name}\", \"${type}\", nrv_res_${index}, nrv_res_${index}_end},\n")
      math(EXPR index "${index} + 1")
    endforeach()
  endforeach()
  string(APPEND asm "\t.section .note.GNU-stack,\"\",@progbits\n")
  file(CONFIGURE OUTPUT ${gen_dir}/resources.S CONTENT "${asm}")
  file(CONFIGURE OUTPUT ${gen_dir}/resources.cpp CONTENT
"// Generated from the resource manifests: the embedded resource table.
#include \"platform/os/resource.h\"
${decls}
namespace {
const ResourceEntry kTable[] = {
${rows}    {nullptr, nullptr, nullptr, nullptr},
};
}  // namespace
const ResourceEntry* NerevalResourceTable() { return kTable; }
")
  # Object files, linked whole into each executable whatever the library order.
  add_library(${target} OBJECT ${gen_dir}/resources.S ${gen_dir}/resources.cpp)
  set_source_files_properties(${gen_dir}/resources.S PROPERTIES OBJECT_DEPENDS "${deps}")
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()

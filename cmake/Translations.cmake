# The dialog's message catalogs (GNU gettext): each po/<lang>.po is compiled
# by msgfmt into the build tree's locale folder, where programs run from the
# build tree read it, and installed as
# PREFIX/share/locale/<lang>/LC_MESSAGES/nereval.mo, where the installed
# program reads it (NEREVAL_LOCALEDIR, platform/CMakeLists.txt).
find_program(NEREVAL_MSGFMT msgfmt REQUIRED)
file(GLOB po_files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/po/*.po)
set(mo_files "")
foreach(po ${po_files})
  get_filename_component(lang ${po} NAME_WE)
  set(mo ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES/nereval.mo)
  # --check: a translated format must take the same arguments as its English text.
  add_custom_command(OUTPUT ${mo}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/locale/${lang}/LC_MESSAGES
    COMMAND ${NEREVAL_MSGFMT} --check -o ${mo} ${po}
    DEPENDS ${po}
    COMMENT "Compiling the ${lang} message catalog")
  install(FILES ${mo} DESTINATION share/locale/${lang}/LC_MESSAGES)
  list(APPEND mo_files ${mo})
endforeach()
add_custom_target(nereval_translations DEPENDS ${mo_files})
# Whoever can open a dialog has its catalogs beside it.
add_dependencies(nereval_dialog nereval_translations)

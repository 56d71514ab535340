# Installation and the Debian package. Layout under the prefix (PREFIX,
# default /usr/local; DESTDIR is honoured):
#   libexec/xscreensaver/nereval                the program, where XScreenSaver looks for hacks
#   bin/nereval                                 a link to it, for s, w and c
#   lib/nereval/nereval-dialog.so               the settings dialog (GTK), opened by c
#   share/xscreensaver/config/nereval.xml       XScreenSaver's settings page
#   share/man/man6/nereval.6x                   the manual page
#   share/applications/screensavers/nereval.desktop
include(GNUInstallDirs)
# Installing needs the program only, not the tests and tools of `all`.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(NEREVAL_HACK ${CMAKE_INSTALL_PREFIX}/libexec/xscreensaver/nereval)
set(install_dir ${CMAKE_SOURCE_DIR}/tools/install)
configure_file(${install_dir}/nereval.6x.in ${CMAKE_BINARY_DIR}/install/nereval.6x @ONLY)
configure_file(${install_dir}/nereval.desktop.in ${CMAKE_BINARY_DIR}/install/nereval.desktop @ONLY)
file(CREATE_LINK ../libexec/xscreensaver/nereval ${CMAKE_BINARY_DIR}/install/nereval SYMBOLIC)

install(TARGETS nereval RUNTIME DESTINATION libexec/xscreensaver)
# The program opens its dialog module from the prefix compiled in
# (NEREVAL_DIALOG_INSTALLED_DIR, platform/CMakeLists.txt), never from a place
# found relative to itself (platform/dialog/dialog_loader.cpp).
install(TARGETS nereval_dialog LIBRARY DESTINATION lib/nereval)
# The installed program carries no build path: the build tree's folder, which
# the program in the build tree uses to find its module there, is blanked in
# the installed copy (after stripping, which keeps it).
install(CODE "set(NEREVAL_BUILD_TREE_TEXT [=[nereval-build-tree:${CMAKE_BINARY_DIR}]=])
  set(NEREVAL_CONFIGURED_PREFIX [=[${CMAKE_INSTALL_PREFIX}]=])
  include([=[${CMAKE_SOURCE_DIR}/cmake/BlankBuildTree.cmake]=])")
install(FILES ${CMAKE_BINARY_DIR}/install/nereval DESTINATION bin)
install(FILES ${install_dir}/nereval.xml DESTINATION share/xscreensaver/config)
install(FILES ${CMAKE_BINARY_DIR}/install/nereval.6x DESTINATION share/man/man6)
install(FILES ${CMAKE_BINARY_DIR}/install/nereval.desktop DESTINATION share/applications/screensavers)
install(CODE "message([=[
Nereval is installed: ${NEREVAL_HACK}
To use it as your screen saver with XScreenSaver, add this line to the
'programs:' list of ~/.xscreensaver (xscreensaver-settings writes that file;
the line ends with a backslash-n and a backslash like its neighbours):
    GL: ${NEREVAL_HACK} --root \\n\\
then run 'xscreensaver-command -restart' and choose Nereval in
xscreensaver-settings (its settings page is read from
share/xscreensaver/config/nereval.xml when the prefix is /usr).
Without XScreenSaver: 'nereval s' from any idle tool, e.g.
    xss-lock -- nereval s        or        xautolock -time 10 -locker 'nereval s'
]=])")

# make deb: tools/make-deb.sh builds the Debian package from this install, with
# dpkg's own tools, and its metadata is in tools/install/debian (control,
# changelog, copyright). Not CPack: CMake 3.25's DEB generator adds ldconfig
# calls for any shared object under usr/lib/*/ (the private dialog module
# too) and counts a symbolic link's target in Installed-Size.

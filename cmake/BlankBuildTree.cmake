# Run by `cmake --install` (and so by make install and make deb) after the
# program is copied: overwrites with zero bytes every copy of
# NEREVAL_BUILD_TREE_TEXT (the marker and the build tree's folder) in the
# installed program, so it neither looks into nor names the build tree. The
# file keeps its size and layout; only the text's bytes change.
cmake_policy(VERSION 3.22)
set(program "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}/libexec/xscreensaver/nereval")
file(READ "${program}" bytes HEX)
string(HEX "${NEREVAL_BUILD_TREE_TEXT}" text)
string(LENGTH "${text}" text_length)
set(done 0)       # hex digits before `bytes`
set(blanked 0)
string(FIND "${bytes}" "${text}" at)
while(at GREATER -1)
  math(EXPR odd "(${done} + ${at}) % 2")
  if(odd EQUAL 0)   # on a byte boundary: a real copy
    math(EXPR offset "(${done} + ${at}) / 2")
    math(EXPR count "${text_length} / 2")
    execute_process(COMMAND dd if=/dev/zero "of=${program}" bs=1 seek=${offset} count=${count} conv=notrunc
      RESULT_VARIABLE failed ERROR_QUIET)
    if(failed)
      message(FATAL_ERROR "Cannot blank the build tree's path in ${program}")
    endif()
    math(EXPR blanked "${blanked} + 1")
  endif()
  math(EXPR skip "${at} + 1")
  string(SUBSTRING "${bytes}" ${skip} -1 bytes)
  math(EXPR done "${done} + ${skip}")
  string(FIND "${bytes}" "${text}" at)
endwhile()
if(blanked EQUAL 0)
  message(FATAL_ERROR "${program} does not hold the build tree's path where it should: was it built in this tree?")
endif()
if(NOT CMAKE_INSTALL_PREFIX STREQUAL NEREVAL_CONFIGURED_PREFIX)
  message(WARNING "Installed under ${CMAKE_INSTALL_PREFIX}, but the program opens its settings dialog from "
    "${NEREVAL_CONFIGURED_PREFIX}/lib/nereval, the prefix it was configured with "
    "(cmake -DCMAKE_INSTALL_PREFIX=${CMAKE_INSTALL_PREFIX} to install it there).")
endif()

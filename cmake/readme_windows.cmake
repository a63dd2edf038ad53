# README-windows.txt, the text a Windows developer gets with the SDK folder
# and nothing else: cut from README.md, so that it says what the README says.
# It carries the README's part on Windows, the rules for calls, strings,
# buffers and threads (the list that ends the tour of the C interface) and
# everything the library does not do, its bounds among them.
# Usage: mklabel_readme_windows(README OUTPUT)

# The section of the README under "## TITLE", without its heading.
function(mklabel_readme_section readme title out)
  string(FIND "${readme}" "\n## ${title}\n" start)
  if(start EQUAL -1)
    message(FATAL_ERROR "README.md has no section \"${title}\" for README-windows.txt")
  endif()
  string(LENGTH "\n## ${title}\n" heading)
  math(EXPR start "${start} + ${heading}")
  string(SUBSTRING "${readme}" ${start} -1 section)
  string(REGEX REPLACE "\n## [^#].*" "" section "${section}")
  string(STRIP "${section}" section)
  set(${out} "${section}" PARENT_SCOPE)
endfunction()

function(mklabel_readme_windows readme_file output)
  file(READ "${readme_file}" readme)
  mklabel_readme_section("${readme}" "The Windows DLL" dll)
  mklabel_readme_section("${readme}" "A short tour of the C interface" tour)
  string(REGEX MATCH "\n- .*" rules "${tour}")
  string(STRIP "${rules}" rules)
  mklabel_readme_section("${readme}" "What it does not do" limits)
  file(WRITE "${output}" "mklabel for 64-bit Windows
==========================

mklabel is a library with a flat C interface for thermal label printers: it
loads LSF label files or builds labels object by object, fills their
variables, renders them into 32-bit pixel buffers and BMP previews, turns a
label into a printer job and sends it over USB, TCP or the Windows spooler.
Its calls are described in include/mklabel.h; what follows is what a program
that uses the DLL needs to know besides.

## The Windows DLL

${dll}

## Calls, strings, buffers and threads

${rules}

## What it does not do

${limits}
")
endfunction()

# Puts a LIBRARY line naming the DLL at the top of the module-definition file
# the linker wrote (it writes none): the import-library tools name the DLL a
# program loads from that line (dlltool writes "(null)" without it,
# llvm-dlltool refuses the file, MSVC's lib takes the output's name).
#   cmake -DDEF=mklabel.def -DDLL=mklabel.dll -P def_library_line.cmake
file(READ "${DEF}" content)
if(NOT content MATCHES "^LIBRARY ")
  file(WRITE "${DEF}" "LIBRARY ${DLL}\n${content}")
endif()

# Run by CPack once it has made the packages, before it copies them out
# (CPACK_POST_BUILD_SCRIPTS). CMake 3.25 writes the md5sums of a -dbgsym
# package with the absolute paths of its staging folder and gives it no
# documentation folder, so that neither dpkg --verify nor lintian accepts it.
# Each one is repacked in place as Debian's own debug packages are: md5sums of
# paths from the root, and usr/share/doc/<name> a link to the documentation of
# the package it serves, which it depends on.
find_program(DPKG_DEB dpkg-deb REQUIRED)

foreach(package_file IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package_file MATCHES "\\.ddeb$")
    continue()
  endif()
  set(root ${package_file}.root)
  file(REMOVE_RECURSE ${root})
  execute_process(COMMAND ${DPKG_DEB} --raw-extract ${package_file} ${root} COMMAND_ERROR_IS_FATAL ANY)

  file(READ ${root}/DEBIAN/control control)
  if(NOT control MATCHES "Package: ([^\n]+)-dbgsym\n")
    message(FATAL_ERROR "${package_file} is no -dbgsym package")
  endif()
  set(served ${CMAKE_MATCH_1})
  file(MAKE_DIRECTORY ${root}/usr/share/doc)
  file(CREATE_LINK ${served} ${root}/usr/share/doc/${served}-dbgsym SYMBOLIC)

  file(GLOB_RECURSE debug_files LIST_DIRECTORIES false RELATIVE ${root} ${root}/usr/*)
  list(SORT debug_files)
  set(md5sums "")
  foreach(debug_file IN LISTS debug_files)
    if(NOT IS_SYMLINK ${root}/${debug_file})
      file(MD5 ${root}/${debug_file} sum)
      string(APPEND md5sums "${sum}  ${debug_file}\n")
    endif()
  endforeach()
  file(WRITE ${root}/DEBIAN/md5sums "${md5sums}")

  execute_process(COMMAND ${DPKG_DEB} --root-owner-group -Zgzip --build ${root} ${package_file}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${root})
  message(STATUS "Repacked ${package_file}")
endforeach()

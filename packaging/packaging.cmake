# Installing and packaging: the program and its manual pages under a prefix, a Debian package of the
# POSIX build (cpack), and a .zip of the Windows build with its readme (cpack in a Windows build).
include(GNUInstallDirs)
if(WIN32)
  install(TARGETS foldgraf RUNTIME DESTINATION .)
  find_program(FOLDGRAF_ICONV iconv)
  if(FOLDGRAF_ICONV)
    set(readme_source ${CMAKE_CURRENT_SOURCE_DIR}/packaging/readme.txt)
    set(readme_cp932 ${CMAKE_CURRENT_BINARY_DIR}/readme.txt)
    set(readme_utf8 ${CMAKE_CURRENT_BINARY_DIR}/readme-utf8.txt)
    add_custom_command(
      OUTPUT ${readme_cp932} ${readme_utf8}
      COMMAND ${CMAKE_COMMAND} -DSOURCE=${readme_source} -DUTF8=${readme_utf8}
              -DCP932=${readme_cp932} -DICONV=${FOLDGRAF_ICONV}
              -P ${CMAKE_CURRENT_SOURCE_DIR}/packaging/readme-copies.cmake
      DEPENDS ${readme_source} ${CMAKE_CURRENT_SOURCE_DIR}/packaging/readme-copies.cmake
      COMMENT "Making the readme in code page 932 and UTF-8"
      VERBATIM)
    add_custom_target(readme ALL DEPENDS ${readme_cp932} ${readme_utf8})
    install(FILES ${readme_cp932} ${readme_utf8} DESTINATION .)
  else()
    message(WARNING "iconv was not found: the Windows package will have no readme")
  endif()
  set(CPACK_GENERATOR ZIP)
else()
  install(TARGETS foldgraf RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES foldgraf.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  # The Japanese page under the same name, in the folder man reads for a Japanese locale or -L ja.
  install(FILES foldgraf.ja.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/ja/man1 RENAME foldgraf.1)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_PACKAGE_NAME foldgraf)
set(CPACK_PACKAGE_VENDOR "FOLDGRAF")
set(CPACK_PACKAGE_CONTACT "FOLDGRAF developers <foldgraf@example.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "print the folder structure of a drive or path as a drawn tree")
set(CPACK_PACKAGE_DESCRIPTION
    "FOLDGRAF prints every subfolder below a folder, depth first, behind connector and\n\
indentation strings that draw the branches of the tree. /F adds the files of\n\
every folder and /T their time stamps. Its messages are Japanese.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
find_program(FOLDGRAF_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(FOLDGRAF_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  # Without dpkg-dev the versions cannot be read off the binary; name the libraries it links.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
endif()
include(CPack)


# The Debian package of the command-line filter: the program, its manual
# pages in English and Japanese, its Japanese messages, the bash completion
# and the starter list of symbols, built by `cpack -G DEB` in a native build
# folder.
install(TARGETS marquill RUNTIME DESTINATION bin)
# Stripped as Debian strips programs: no symbols, no .comment or .note
# sections (CPack's own stripping keeps those).
marquill_require_program(STRIP_PROGRAM strip binutils)
install(CODE "execute_process(COMMAND ${STRIP_PROGRAM} --strip-unneeded --remove-section=.comment
  --remove-section=.note \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/marquill\" COMMAND_ERROR_IS_FATAL ANY)")
# The message catalogues, built beside the program for the tests as well.
add_subdirectory(po)
# The manual page takes the project version; manual pages are kept
# compressed, with no name or time in the gzip header so that the same page
# gives the same bytes.
marquill_require_program(GZIP_PROGRAM gzip gzip)
configure_file(${PROJECT_SOURCE_DIR}/cli/marquill.1 ${CMAKE_BINARY_DIR}/marquill.1 @ONLY)
set(MARQUILL_MANUAL_GZ ${CMAKE_BINARY_DIR}/marquill.1.gz)
add_custom_command(OUTPUT ${MARQUILL_MANUAL_GZ}
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_BINARY_DIR}/marquill.1 > ${MARQUILL_MANUAL_GZ}
  DEPENDS ${CMAKE_BINARY_DIR}/marquill.1)
# The Japanese page with break points for groff (cmake/manual-breaks.pl).
marquill_require_program(PERL_PROGRAM perl perl)
configure_file(${PROJECT_SOURCE_DIR}/cli/marquill.ja.1 ${CMAKE_BINARY_DIR}/marquill.ja.1 @ONLY)
set(MARQUILL_MANUAL_JA_GZ ${CMAKE_BINARY_DIR}/ja/marquill.1.gz)
add_custom_command(OUTPUT ${MARQUILL_MANUAL_JA_GZ}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/ja
  COMMAND ${PERL_PROGRAM} ${PROJECT_SOURCE_DIR}/cmake/manual-breaks.pl ${CMAKE_BINARY_DIR}/marquill.ja.1
    ${CMAKE_BINARY_DIR}/ja/marquill.1
  COMMAND ${GZIP_PROGRAM} -9 -n -f ${CMAKE_BINARY_DIR}/ja/marquill.1
  DEPENDS ${CMAKE_BINARY_DIR}/marquill.ja.1 ${PROJECT_SOURCE_DIR}/cmake/manual-breaks.pl)
add_custom_target(marquill_manual ALL DEPENDS ${MARQUILL_MANUAL_GZ} ${MARQUILL_MANUAL_JA_GZ})
install(FILES ${MARQUILL_MANUAL_GZ} DESTINATION share/man/man1)
install(FILES ${MARQUILL_MANUAL_JA_GZ} DESTINATION share/man/ja/man1)
# Completion, generated from the option table, where bash-completion loads it
# on demand, by the command's name.
install(FILES ${MARQUILL_COMPLETION_FILE} DESTINATION share/bash-completion/completions
  RENAME marquill)
# The starter list for the default settings file.
install(FILES ${PROJECT_SOURCE_DIR}/package/sample-settings.txt DESTINATION share/doc/marquill/examples
  RENAME Marquill_Setting.txt)
# The license with its copyright notice, and the changelog (a native
# package's changelog.gz), where Debian looks for them; compressed with no
# name or time, so that the same text gives the same bytes.
install(FILES ${PROJECT_SOURCE_DIR}/package/copyright DESTINATION share/doc/marquill)
configure_file(${PROJECT_SOURCE_DIR}/package/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
set(MARQUILL_CHANGELOG_GZ ${CMAKE_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${MARQUILL_CHANGELOG_GZ}
  COMMAND ${GZIP_PROGRAM} -9 -n -c ${CMAKE_BINARY_DIR}/changelog > ${MARQUILL_CHANGELOG_GZ}
  DEPENDS ${CMAKE_BINARY_DIR}/changelog)
add_custom_target(marquill_changelog ALL DEPENDS ${MARQUILL_CHANGELOG_GZ})
install(FILES ${MARQUILL_CHANGELOG_GZ} DESTINATION share/doc/marquill)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marquill)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Marquill authors")
set(CPACK_PACKAGE_CONTACT "Marquill maintainers <maintainers@users.noreply.c-seed-f1426660.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "insert and delete head symbols in the lines of UTF-8 texts")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "marquill puts head symbols such as '> ' or '// ' at the head of lines or at\n"
    "the column of their least indentation, and takes them off again, with the\n"
    "edits of the Marquill plug-in. It works as a Unix filter on files or\n"
    "standard input, streams line by line, and edits files in place.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
# The package's dependencies come from dpkg-shlibdeps, which CPack runs on
# the files that `file` finds to be programs. Without dpkg-shlibdeps CPack
# would make a package that depends on nothing, so both are required here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
marquill_require_program(FILE_PROGRAM file file)
marquill_require_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps dpkg-dev)
set(CPACK_STRIP_FILES ON)
# Emacs' start-up file under /etc is the administrator's to change.
file(WRITE ${CMAKE_BINARY_DIR}/deb-control/conffiles "/etc/emacs/site-start.d/50marquill.el\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/deb-control/conffiles)
include(CPack)

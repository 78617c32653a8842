# The Debian package of the command-line filter: the program and its manual
# page, built by `cpack -G DEB` in a native build folder.
install(TARGETS marquill RUNTIME DESTINATION bin)
install(FILES ${PROJECT_SOURCE_DIR}/cli/marquill.1 DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME marquill)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "the Marquill authors")
set(CPACK_PACKAGE_CONTACT "the Marquill authors")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "insert and delete head symbols in the lines of UTF-8 texts")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "marquill puts head symbols such as '> ' or '// ' at the head of lines or at\n"
    "the column of their least indentation, and takes them off again, with the\n"
    "edits of the Marquill plug-in. It works as a Unix filter on files or\n"
    "standard input, streams line by line, and edits files in place.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION text)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

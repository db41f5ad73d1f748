# The Debian package: from a build configured with -DSHOTDATE_BUILD_TESTS=OFF,
#   cpack -G DEB     (in the build folder)
# makes shotdate_<version>_amd64.deb with what `cmake --install` puts in place.
set(CPACK_PACKAGE_NAME shotdate)
set(CPACK_PACKAGE_VENDOR "ShotDate")
set(CPACK_PACKAGE_CONTACT "ShotDate maintainers <maintainers@users.noreply.c-seed-5e68aa96.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "change the EXIF shooting date of many photos at once")
# The summary above is the synopsis line; this is the text below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "ShotDate rewrites, in bulk, the shooting date (DateTimeOriginal and\n"
  "DateTimeDigitized) that photographs carry in their EXIF metadata: a fixed\n"
  "date and time, a date only, a time only, or a shift of each photo's own\n"
  "date. Files are replaced crash-safely or written into another folder.\n"
  "This package holds the window (shotdate) and the command-line tool\n"
  "(shotdate-cli).")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The libraries come from dpkg-shlibdeps; Qt's own Japanese texts (the file
# chooser, the message boxes' buttons) are data no library pulls in.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")
set(CPACK_GENERATOR DEB)
include(CPack)

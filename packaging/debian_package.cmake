# The Debian package, made by `cpack` in a build tree (scripts/package does it all): what the
# install rules put under /usr, with Depends computed from the programs by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME picsheet)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The tree must be configured with CMAKE_INSTALL_PREFIX=/usr as well (scripts/package does): the
# window compares its folder with the configured bin folder to know it is installed.
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
if(NOT CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  message(STATUS "CMAKE_INSTALL_PREFIX is not /usr: a package made here would not know its bin folder")
endif()
set(CPACK_PACKAGE_CONTACT
    "picsheet maintainers <maintainers@users.noreply.c-seed-a9eebb24.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turns catalogue pages into printable picture tables")
# CPack puts the summary in front as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "picsheet reads a collector's catalogue page, a local HTML file or an http://
or https:// link that lists the pictures of one numbered series in table
cells, and writes a printable page of its own: a title and a 19 cm table
with 2 to 20 cells per row, each holding the pictures of one number with
its caption.
Every picture is downloaded, turned to the chosen orientation and saved as
a local JPEG beside the page.
.
The package holds the window picsheet (Qt 6 with a Qt WebEngine preview)
and the command line picsheet-cli.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own buttons and dialogs in Russian, like the rest of the window.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS qt6-translations-l10n)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# Debian installs programs without their symbol tables (and, as dh_strip does, without the
# compiler's notes: packaging/CMakeLists.txt).
set(CPACK_STRIP_FILES ON)
# The archive is the same bytes from every build of one commit: CPack takes every member's time
# from SOURCE_DATE_EPOCH (scripts/package sets it to the last commit's time), lists the files in
# sorted order, owned by root, and the compression is fixed here: xz as dpkg-deb uses it, on one
# thread whatever the machine.
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_THREADS 1)
include(CPack)

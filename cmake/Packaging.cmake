# A Debian package of the installed program (scripts/package.sh builds it).
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tollgate)
set(CPACK_PACKAGE_VENDOR "Tollgate developers")
set(CPACK_PACKAGE_CONTACT "Tollgate developers <tollgate@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "block windows and processes by an administrator's rule set")
set(CPACK_PACKAGE_DESCRIPTION
    "Tollgate watches what the person at a computer runs and enforces a rule set:\n"
    "window rules (a title pattern, then block or bring to front), process rules\n"
    "(block, always run, close when the computer is idle), an activity log that also\n"
    "goes to the system log, and a configuration window that hides while enforcing.\n"
    "For school labs, libraries, kiosks and family computers.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries come from dpkg-shlibdeps; the rest are run or read at run time.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, xdg-utils, shared-mime-info, desktop-file-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# Tests, benchmarks and the window renderer stay out: only what `cmake --install` puts in.
# The guard's unit is enabled and started on install, stopped and disabled on removal.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/installer/debian/postinst
    ${PROJECT_SOURCE_DIR}/installer/debian/prerm ${PROJECT_SOURCE_DIR}/installer/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

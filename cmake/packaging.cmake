# Desktop integration and the Debian package.
#
# `cmake --install` puts the executable in bin/ and the help pages under
# share/zarvo/help (see the top-level and resources/ CMakeLists.txt); this adds
# the desktop entry and the icon where desktops look for them. Everything else
# the program needs (the interface files, the tray images, the seed property
# lists) is compiled into the executable.
install(FILES ${PROJECT_SOURCE_DIR}/resources/zarvo.desktop DESTINATION share/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/zarvo.svg
        DESTINATION share/icons/hicolor/scalable/apps)

# `cpack -G DEB` in the build directory makes zarvo_<version>_<arch>.deb.
# dpkg-shlibdeps (from dpkg-dev) turns the libraries the executable links
# into dependencies on the Debian runtime packages that ship them.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zarvo)
set(CPACK_PACKAGE_VENDOR "Zarvo")
set(CPACK_PACKAGE_CONTACT "Zarvo developers <zarvo@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "launcher for software projects in the system tray")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "A tray icon and a global hot key (Ctrl+Alt+Super+K) drop a panel under the\n"
  "icon: type to filter your projects and press Return to open a terminal in\n"
  "the project's folder that pulls, runs the project's commands and opens\n"
  "your editor.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What a launch runs: git pull, xdg-open for "open ./", a terminal emulator.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "git, xdg-utils, x-terminal-emulator")
include(CPack)

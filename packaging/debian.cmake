# The Debian package, built with CPack's DEB generator (scripts/package.sh).
# lintian 2.116 finds nothing in it, not even with --pedantic and its
# informational tags; scripts/package.sh fails on any error it reports.
# CPack rather than debian/ and debhelper: the package holds exactly what the
# install rules above install, so a file added there is packaged without a
# second list to keep in step, and building it needs no source package.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME trenchwalk)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT
  "Trenchwalk maintainers <maintainers@users.noreply.c-seed-af3ab4af.example>")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Policy's modes whatever the umask of whoever builds the package.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# x11, as other screen savers: Debian's games section would want the program
# in /usr/games.
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "full-screen screen saver with a walker, trenches and an umbrella")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [[
A tiny pixel-art walker crosses a black screen along a lane drawn at a
random height. Trenches open ahead of it; at the edge it drops in, opens an
umbrella and floats out of the bottom of the screen, and a new lane begins.
A clock and the distance walked ride along the lane.
.
Any key or click ends it; every run ends with a record of the distance in a
log of its own, which the keypad's + key adds up. It runs on X11 and on
Wayland and covers every monitor. Its idle launcher, switched on for every
user, starts it when the session has been idle for a while; any other idle
daemon can start it too.]])
# The libraries the executable links, found by dpkg-shlibdeps; then what it
# loads or runs without linking: Qt's Wayland platform plugin, the two font
# families it draws with, and xdg-open for the maker's page.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, fonts-liberation, fonts-dejavu-core, xdg-utils")

# What Debian wants of the staged package and a per-user install does without:
# stripped binaries, compressed manual pages, the copyright file and the
# changelog, the user unit and the autostart entry in the system's places, the
# conffiles list and the scripts that switch the unit on and off.
set(TRENCHWALK_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})
# The changelog's newest entry names the version the package carries.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^trenchwalk \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/changelog has no entry for version ${PROJECT_VERSION} on top")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/prepare_staging.cmake.in
  ${PROJECT_BINARY_DIR}/prepare_staging.cmake @ONLY)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_BINARY_DIR}/prepare_staging.cmake)
# Maintainer scripts 0755 and the conffiles list 0644, as dpkg expects.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)

# Runs at install time (from install(CODE)): fills the installed paths into the desktop entry
# and the systemd user unit and installs them. ZELMO_BINDIR, ZELMO_DATADIR and ZELMO_DOCDIR are
# relative to the prefix; DESTDIR is added by file(INSTALL), not written into the files.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(BINDIR "${prefix}/${ZELMO_BINDIR}")
set(DOCDIR "${prefix}/${ZELMO_DOCDIR}")
set(ICON "${prefix}/${ZELMO_DATADIR}/icons/hicolor/scalable/apps/zelmo.svg")
set(UNIT_PATH "${prefix}/lib/systemd/user/zelmo-headless.service")

# One staging folder per destination, so two installs from one build do not collide.
string(MD5 destination "$ENV{DESTDIR}${prefix}")
set(staging "${ZELMO_STAGING_DIR}/${destination}")
configure_file("${ZELMO_DIST_DIR}/zelmo.desktop.in" "${staging}/zelmo.desktop" @ONLY)
configure_file("${ZELMO_DIST_DIR}/zelmo-headless.service.in" "${staging}/zelmo-headless.service"
  @ONLY)

if(ZELMO_GUI)
  file(INSTALL "${staging}/zelmo.desktop" DESTINATION "${prefix}/${ZELMO_DATADIR}/applications")
endif()
file(INSTALL "${staging}/zelmo-headless.service" DESTINATION "${prefix}/lib/systemd/user")

# Runs at install time, so that these files name the prefix actually installed
# to (cmake --install --prefix, cpack) rather than the one the build was
# configured with. Given: ZUVO_PART (desktop or server), ZUVO_DIST_SOURCE,
# ZUVO_DIST_BINARY, ZUVO_BINDIR, ZUVO_DATADIR, and the install's
# CMAKE_INSTALL_PREFIX.
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(ZUVO_FULL_BINDIR "${prefix}/${ZUVO_BINDIR}")
if(prefix STREQUAL "/usr")
    set(ZUVO_SERVER_CONFIG_DIR /etc/zuvonote-server)
else()
    set(ZUVO_SERVER_CONFIG_DIR "${prefix}/etc/zuvonote-server")
endif()
# The unit's StateDirectory, the one folder the sandboxed service may write,
# whatever the prefix.
set(ZUVO_SERVER_STATE_DIR /var/lib/zuvonote-server)
set(out "${ZUVO_DIST_BINARY}/installed${prefix}")

if(ZUVO_PART STREQUAL "desktop")
    # A menu entry finds the program by name where the prefix is on the PATH.
    if(prefix STREQUAL "/usr" OR prefix STREQUAL "/usr/local")
        set(ZUVO_DESKTOP_EXEC zuvonote)
    else()
        set(ZUVO_DESKTOP_EXEC "${ZUVO_FULL_BINDIR}/zuvonote")
    endif()
    configure_file("${ZUVO_DIST_SOURCE}/zuvonote.desktop.in" "${out}/zuvonote.desktop" @ONLY)
    file(INSTALL "${out}/zuvonote.desktop" DESTINATION "${prefix}/${ZUVO_DATADIR}/applications")
elseif(ZUVO_PART STREQUAL "server")
    configure_file("${ZUVO_DIST_SOURCE}/zuvonote-server.service.in" "${out}/zuvonote-server.service" @ONLY)
    configure_file("${ZUVO_DIST_SOURCE}/server.ini.in" "${out}/server.ini" @ONLY)
    file(INSTALL "${out}/zuvonote-server.service" DESTINATION "${prefix}/lib/systemd/system")
    file(INSTALL "${out}/server.ini" DESTINATION "${ZUVO_SERVER_CONFIG_DIR}")
    # A package carries the folder; systemd makes it for any other install.
    if(prefix STREQUAL "/usr")
        file(MAKE_DIRECTORY "$ENV{DESTDIR}${ZUVO_SERVER_STATE_DIR}")
    endif()
endif()

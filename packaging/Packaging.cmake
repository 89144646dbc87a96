# Installs the application as a desktop program (binary, desktop entry, hicolor icons, man page,
# documents) and vorlen-cli beside it with its own man page, and describes the Debian package that CPack builds from that installation:
#   cmake --install build --prefix /usr        or        cd build && cpack -G DEB

include(GNUInstallDirs)

set(VORLEN_PACKAGE_NAME vorlen-software-update)
set(VORLEN_PACKAGING_DIR ${CMAKE_CURRENT_LIST_DIR})

install(PROGRAMS $<TARGET_FILE:VorlenSoftwareUpdate>
    DESTINATION ${CMAKE_INSTALL_BINDIR} RENAME ${VORLEN_PACKAGE_NAME})
install(PROGRAMS $<TARGET_FILE:vorlen-cli> DESTINATION ${CMAKE_INSTALL_BINDIR})
# A renamed program is not a target to CPack, so CPACK_STRIP_FILES would not strip it.
foreach(program ${VORLEN_PACKAGE_NAME} vorlen-cli)
    install(CODE "execute_process(COMMAND ${CMAKE_STRIP} --remove-section=.comment --remove-section=.note --strip-unneeded
        \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/${program}\")")
endforeach()
install(FILES ${VORLEN_PACKAGING_DIR}/${VORLEN_PACKAGE_NAME}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

foreach(size 256 128 64 48 32 16)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/${VORLEN_PACKAGE_NAME}-${size}.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
        RENAME ${VORLEN_PACKAGE_NAME}.png)
endforeach()

# Debian installs man pages and changelogs compressed, without a time stamp in the header.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(VORLEN_MAN_PAGES)
foreach(page ${VORLEN_PACKAGE_NAME} vorlen-cli)
    set(compressed ${CMAKE_CURRENT_BINARY_DIR}/${page}.1.gz)
    add_custom_command(OUTPUT ${compressed}
        COMMAND ${GZIP_PROGRAM} -9n -c ${VORLEN_PACKAGING_DIR}/${page}.1 > ${compressed}
        DEPENDS ${VORLEN_PACKAGING_DIR}/${page}.1)
    list(APPEND VORLEN_MAN_PAGES ${compressed})
endforeach()
set(VORLEN_CHANGELOG ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
add_custom_command(OUTPUT ${VORLEN_CHANGELOG}
    COMMAND ${GZIP_PROGRAM} -9n -c ${VORLEN_PACKAGING_DIR}/changelog > ${VORLEN_CHANGELOG}
    DEPENDS ${VORLEN_PACKAGING_DIR}/changelog)
add_custom_target(vorlen_compressed_docs ALL DEPENDS ${VORLEN_MAN_PAGES} ${VORLEN_CHANGELOG})

install(FILES ${VORLEN_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
set(VORLEN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${VORLEN_PACKAGE_NAME})
install(FILES ${VORLEN_PACKAGING_DIR}/copyright ${VORLEN_CHANGELOG} DESTINATION ${VORLEN_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VORLEN_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Trel")
set(CPACK_PACKAGE_CONTACT "Trel <support@trel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "update the firmware, sounds and presets of a Vorlen instrument")
# CPack puts the summary first and indents these lines itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "A desktop application that finds the Vorlen on its USB serial port, updates
its firmware and sound bank from the update server, and backs up and restores
its presets. vorlen-cli does the same jobs from a terminal, also on several
instruments at once.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.trel.example/")
# Linked libraries come from dpkg-shlibdeps; JUCE opens the X libraries at run time, so they
# are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libx11-6, libxext6, libxcursor1, libxinerama1, libxrandr2, libxrender1")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

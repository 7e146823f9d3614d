# Installing and packaging.
#
# The program looks for default.skn and readme.txt in the folder of its own executable, so the
# install tree keeps them together in one private folder, and bin/ only points there.
set(TAPEWREN_INSTALL_PROGRAM_DIR lib/tapewren)

install(TARGETS tapewren RUNTIME DESTINATION ${TAPEWREN_INSTALL_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/assets/default.skn ${PROJECT_SOURCE_DIR}/assets/readme.txt
        DESTINATION ${TAPEWREN_INSTALL_PROGRAM_DIR})

# A relative link keeps the tree relocatable; the executable's folder is taken from
# /proc/self/exe, which already has the link resolved.
set(tapewrenCommandLink ${CMAKE_BINARY_DIR}/install-links/tapewren)
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/install-links)
file(CREATE_LINK ../${TAPEWREN_INSTALL_PROGRAM_DIR}/tapewren ${tapewrenCommandLink} SYMBOLIC)
install(FILES ${tapewrenCommandLink} DESTINATION bin)

install(FILES ${PROJECT_SOURCE_DIR}/assets/tapewren.desktop DESTINATION share/applications)
file(GLOB tapewrenIconSizes RELATIVE ${PROJECT_SOURCE_DIR}/assets/icons
     ${PROJECT_SOURCE_DIR}/assets/icons/*x*/tapewren.png)
foreach(icon ${tapewrenIconSizes})
    get_filename_component(size ${icon} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/${icon}
            DESTINATION share/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/scalable/tapewren.svg
        DESTINATION share/icons/hicolor/scalable/apps)

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapewren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tapewren")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small audio recorder with a Simplified Chinese interface")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tapewren records from the sound input, plays the recording back and saves"
    "it as a WAV file (44.1 kHz, 16 bit, stereo; RF64 beyond 4 GiB). It can also"
    "open an existing WAV file to play it or to record into it. Its window and"
    "its read-me are in Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tapewren developers <developers@tapewren.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)

# Loaded at run time rather than linked, so no library scan finds them: the X11 platform plugin,
# the Chinese font (without it every character is an empty box), Qt's Chinese dialog texts, and
# xdg-open for Help and the links.
set(tapewrenRuntimeDepends
    "qt6-qpa-plugins (>= 6.4.2), fonts-wqy-microhei, qt6-translations-l10n (>= 6.4.2), xdg-utils")
find_program(TAPEWREN_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TAPEWREN_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "${tapewrenRuntimeDepends}")
else()
    # The versions Debian 12 ships, which the program is built and tested against.
    set(CPACK_DEBIAN_PACKAGE_DEPENDS
        "libqt6core6 (>= 6.4.2), libqt6gui6 (>= 6.4.2), libqt6widgets6 (>= 6.4.2), \
libqt6multimedia6 (>= 6.4.2), libsndfile1 (>= 1.2.0), libpulse0 (>= 16.1), libc6 (>= 2.36), \
libstdc++6 (>= 12), libgcc-s1 (>= 3.0), ${tapewrenRuntimeDepends}")
endif()
# Qt Multimedia needs a PulseAudio server (or PipeWire's) for any sound device at all; the
# recording-source button opens pavucontrol.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, pavucontrol")

include(CPack)

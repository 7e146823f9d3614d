# Installing and packaging.
#
# Folders the install makes are world-readable whatever the umask of the build.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

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

# The desktop entry is named after the app id, so that desktops match it to the running copy.
set(TAPEWREN_DESKTOP_ID ${TAPEWREN_APP_ID}.desktop)
install(FILES ${PROJECT_SOURCE_DIR}/assets/tapewren.desktop DESTINATION share/applications
        RENAME ${TAPEWREN_DESKTOP_ID})
file(GLOB tapewrenIconSizes RELATIVE ${PROJECT_SOURCE_DIR}/assets/icons
     ${PROJECT_SOURCE_DIR}/assets/icons/*x*/tapewren.png)
foreach(icon ${tapewrenIconSizes})
    get_filename_component(size ${icon} DIRECTORY)
    install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/${icon}
            DESTINATION share/icons/hicolor/${size}/apps)
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/assets/icons/scalable/tapewren.svg
        DESTINATION share/icons/hicolor/scalable/apps)

# The release this tree is: the version is the project's, the date is written here once and
# dates the manual page, the AppStream release and the package's changelog entry.
set(TAPEWREN_RELEASE_DATE 2026-12-07)

# Debian package: cpack -G DEB in the build folder.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tapewren)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tapewren")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small audio recorder with a Simplified Chinese interface")
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
    "Tapewren records from the sound input, plays the recording back and saves"
    "it as a WAV (RF64 beyond 4 GiB), FLAC, MP3, Ogg Vorbis or Opus file, the"
    "format following the file name's extension. It can also open an existing"
    "file of these formats to play it or to record into it. Its window and its"
    "read-me are in Simplified Chinese.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Tapewren developers <developers@tapewren.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# md5sums and control as root-owned 0644, as dpkg-deb would make them.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

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
libsndfile1 (>= 1.2.0), libsoxr0 (>= 0.1.3), libpulse0 (>= 16.1), libc6 (>= 2.36), \
libstdc++6 (>= 12), libgcc-s1 (>= 3.0), ${tapewrenRuntimeDepends}")
endif()
# Recording and playback need a PulseAudio server (or PipeWire's); the recording-source button
# opens pavucontrol.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pulseaudio | pipewire-pulse, pavucontrol")

# The documents a Debian package carries, the manual pages and the AppStream metadata, made in
# the build folder from dist/ with the version and date filled in. The gzip files have no
# name or time stamp in them, so the same sources give the same bytes.
find_program(TAPEWREN_GZIP gzip REQUIRED)
set(distSource ${PROJECT_SOURCE_DIR}/dist)
set(distBuild ${CMAKE_BINARY_DIR}/dist)
function(tapewren_gzip_copy source destination)
    configure_file(${source} ${destination} @ONLY)
    execute_process(COMMAND ${TAPEWREN_GZIP} -9nkf ${destination} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

execute_process(COMMAND date -u -R -d "${TAPEWREN_RELEASE_DATE}"
                OUTPUT_VARIABLE TAPEWREN_RELEASE_DATE_RFC2822 OUTPUT_STRIP_TRAILING_WHITESPACE
                COMMAND_ERROR_IS_FATAL ANY)
tapewren_gzip_copy(${distSource}/changelog.Debian.in ${distBuild}/doc/changelog.Debian)
install(FILES ${distSource}/copyright ${distBuild}/doc/changelog.Debian.gz
        DESTINATION share/doc/tapewren)

tapewren_gzip_copy(${distSource}/tapewren.1 ${distBuild}/man/man1/tapewren.1)
tapewren_gzip_copy(${distSource}/tapewren.zh_CN.1 ${distBuild}/man/zh_CN/man1/tapewren.1)
install(FILES ${distBuild}/man/man1/tapewren.1.gz DESTINATION share/man/man1)
install(FILES ${distBuild}/man/zh_CN/man1/tapewren.1.gz DESTINATION share/man/zh_CN/man1)

configure_file(${distSource}/tapewren.metainfo.xml.in
               ${distBuild}/${TAPEWREN_APP_ID}.metainfo.xml @ONLY)
install(FILES ${distBuild}/${TAPEWREN_APP_ID}.metainfo.xml DESTINATION share/metainfo)

include(CPack)

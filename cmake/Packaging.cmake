# What `cmake --install` puts in place, and a Debian package of it (`cpack -G DEB`
# in the build folder).

# The app installs itself (src/app); its command-line client goes beside it.
install(TARGETS lumarient-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(FILES data/lumarient.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES data/lumarient.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES data/com.corvantil.Lumarient.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The phone-side files (companion app, input archive, scrcpy's server) are built
# elsewhere; a folder holding them is installed with the app when given.
set(LUMARIENT_PHONE_FILES "" CACHE PATH "Folder with LumarientCompanion.apk, lumarient-input.jar, scrcpy-server")
if(LUMARIENT_PHONE_FILES)
  foreach(file LumarientCompanion.apk lumarient-input.jar scrcpy-server)
    if(EXISTS ${LUMARIENT_PHONE_FILES}/${file})
      install(FILES ${LUMARIENT_PHONE_FILES}/${file} DESTINATION ${CMAKE_INSTALL_DATADIR}/lumarient)
    endif()
  endforeach()
endif()

set(CPACK_PACKAGE_NAME lumarient)
set(CPACK_PACKAGE_VENDOR "Corvantil")
set(CPACK_PACKAGE_CONTACT "Lumarient developers <lumarient@corvantil.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Use your Android phone together with this computer")
set(CPACK_PACKAGE_DESCRIPTION
    "Lumarient mirrors an Android phone, runs its desktop mode in a window, uses it as a\n"
    "second display, receives its files and clipboard, and takes it off the cable onto\n"
    "Wi-Fi, all from one tray menu.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Library dependencies come from the binary itself; adb is run, not linked.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adb")
# Screen sessions need scrcpy 3 (Debian 12 ships 1.25: see the README).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "scrcpy, avahi-daemon")
include(CPack)

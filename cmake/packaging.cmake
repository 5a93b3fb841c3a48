# Installation on a workshop PC and its Debian package (cpack -G DEB).
# The station and the simulator install themselves from app/ and sim/; this file adds
# what the desktop needs (menu entry, icon, launcher), the udev rule for USB cables,
# the documentation, and the package's description.
include(GNUInstallDirs)
if(NOT TAVRO_WITH_QT)
  return()
endif()

# On Windows the Start-menu entry and the desktop shortcut start the station through its
# launcher, which gives it a working folder of the user's own; scripts/windows-installer.sh
# packs both with Qt into the installer.
if(WIN32)
  add_executable(tavro-kx42h-start WIN32 ${PROJECT_SOURCE_DIR}/packaging/windows/start.cpp
                                         ${PROJECT_SOURCE_DIR}/packaging/windows/tavro-kx42h.rc)
  target_link_libraries(tavro-kx42h-start PRIVATE shell32 ole32)
  return()
endif()

set(TAVRO_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)

# The menu starts the station through the launcher, which gives it a working directory of
# the user's own for auto.ini.
install(PROGRAMS ${TAVRO_PACKAGING_DIR}/tavro-kx42h-start DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${TAVRO_PACKAGING_DIR}/tavro-kx42h.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${TAVRO_PACKAGING_DIR}/icons/scalable/tavro-kx42h.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${TAVRO_PACKAGING_DIR}/icons/48x48/tavro-kx42h.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/48x48/apps)

# udev reads rules from lib/udev/rules.d under the prefix (/usr/lib/udev/rules.d for the
# package), not from the multiarch library folder.
install(FILES ${TAVRO_PACKAGING_DIR}/60-tavro-kx42h-ftdi.rules DESTINATION lib/udev/rules.d)

# Debian keeps a package's documents in a folder named after the package.
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/docs/install.md
              ${PROJECT_SOURCE_DIR}/docs/user-guide.ru.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/tavro-kx42h)

set(CPACK_PACKAGE_NAME tavro-kx42h)
set(CPACK_PACKAGE_VENDOR "Tavro KX4.2H workshop station team")
set(CPACK_PACKAGE_CONTACT "Tavro KX4.2H workshop station team <support@tavro-kx42h.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "workshop diagnostic station for petrol engine ECUs over the K-line")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "The station diagnoses the electronic control unit of a petrol engine through a serial\n"
       "K-line adapter (ISO 14230, KWP2000, 10400 baud): adapter check, ECU identification,\n"
       "live parameters as numbers and graphs, fault codes, controller reset, equipment\n"
       "options and the idle CO trim. Its user interface is Russian. The package also holds\n"
       "kline-sim, a simulator of the adapter and both ECU families on a pseudo-terminal.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Russian texts need a font with Cyrillic letters; a desktop has one, a bare system may not.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-dejavu-core)
# The Qt platform plug-in is loaded at run time, so no library scan can find it. The windows
# were laid out in Arial: Liberation Sans has its widths, so no text is cut off.
set(TAVRO_RUNTIME_PACKAGES "qt6-qpa-plugins, fonts-liberation2")
find_program(TAVRO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(TAVRO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS ${TAVRO_RUNTIME_PACKAGES})
else()
  # Debian 12's Qt 6 and C++ runtime, named by hand when the library scan is not at hand.
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6widgets6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6core6 (>= 6.4), ${TAVRO_RUNTIME_PACKAGES}, libstdc++6 (>= 12), libc6")
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${TAVRO_PACKAGING_DIR}/debian/postinst
                                       ${TAVRO_PACKAGING_DIR}/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)

# Installation under the prefix, following the freedesktop conventions, and the .deb package.

install(TARGETS corvexa-gps corvexa-gps-window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(CODE "set(CORVEXA_RECORD_SOURCE \"${CMAKE_BINARY_DIR}/etc/xdg/Corvexa/Corvexa.conf\")")
install(SCRIPT ${CMAKE_CURRENT_LIST_DIR}/installrecord.cmake)

install(FILES ${PROJECT_SOURCE_DIR}/dist/corvexa-gps.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/icons/corvexa-gps.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 32 48 64 128 256)
    install(FILES ${PROJECT_SOURCE_DIR}/dist/icons/hicolor/${size}x${size}/corvexa-gps.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvexa-gps)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvexa <support@corvexa.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Photo GPS data batch import and export tool")
set(CPACK_PACKAGE_INSTALL_DIRECTORY corvexa-gps)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libqt6widgets6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6core6 (>= 6.2), libqt6printsupport6 (>= 6.2), libexiv2-27 (>= 0.27.5), fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Moves GPS positions between position logs, photo files and CSV/TSV/KML files.\n Imports a text log or KML track into tagged copies of the photos, and exports\n the GPS positions of photos to CSV, TSV or KML.")
include(CPack)

# Installation under the prefix, following the freedesktop conventions, and the .deb package.

install(TARGETS corvexa-gps corvexa-gps-window RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The user guide: the README as HTML with its pictures. The build puts it where the installed
# program finds it, <prefix>/share/doc/corvexa-gps beside <prefix>/bin, so the build tree's
# program finds its own copy too.
set(CORVEXA_GUIDE_DIR ${CMAKE_INSTALL_DATADIR}/doc/corvexa-gps)
set(CORVEXA_GUIDE ${CMAKE_BINARY_DIR}/${CORVEXA_GUIDE_DIR}/README.html)
set(CORVEXA_GUIDE_PICTURES screenshot-import.png screenshot-export.png screenshot-dialog.png)
add_executable(readme2html ${CMAKE_CURRENT_LIST_DIR}/readme2html.cpp)
target_link_libraries(readme2html PRIVATE Qt6::Gui)
corvexa_warnings(readme2html)
set(guide_outputs ${CORVEXA_GUIDE})
set(guide_copies)
foreach(picture ${CORVEXA_GUIDE_PICTURES})
    list(APPEND guide_outputs ${CMAKE_BINARY_DIR}/${CORVEXA_GUIDE_DIR}/docs/${picture})
    list(APPEND guide_copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
         ${PROJECT_SOURCE_DIR}/docs/${picture} ${CMAKE_BINARY_DIR}/${CORVEXA_GUIDE_DIR}/docs/)
endforeach()
list(TRANSFORM CORVEXA_GUIDE_PICTURES PREPEND ${PROJECT_SOURCE_DIR}/docs/
     OUTPUT_VARIABLE guide_picture_sources)
add_custom_command(
    OUTPUT ${guide_outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/${CORVEXA_GUIDE_DIR}/docs
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:readme2html> ${PROJECT_SOURCE_DIR}/README.md ${CORVEXA_GUIDE}
    ${guide_copies}
    DEPENDS readme2html ${PROJECT_SOURCE_DIR}/README.md ${guide_picture_sources}
    COMMENT "Rendering the user guide"
    VERBATIM)
add_custom_target(corvexa_guide ALL DEPENDS ${guide_outputs})
install(FILES ${CORVEXA_GUIDE} DESTINATION ${CORVEXA_GUIDE_DIR})
install(FILES ${guide_picture_sources} DESTINATION ${CORVEXA_GUIDE_DIR}/docs)

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
    "libqt6widgets6 (>= 6.2), libqt6gui6 (>= 6.2), libqt6core6 (>= 6.2), libqt6printsupport6 (>= 6.2), libexiv2-27 (>= 0.27.5), qt6-translations-l10n, fonts-wqy-microhei | fonts-noto-cjk")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Moves GPS positions between position logs, photo files and CSV/TSV/KML files.\n Imports a text log or KML track into tagged copies of the photos, and exports\n the GPS positions of photos to CSV, TSV or KML.")
include(CPack)

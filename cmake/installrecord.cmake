# Runs at install time: puts the codec's version record in etc/xdg of the prefix, or in the
# system's /etc/xdg for a /usr install (the .deb), where start-up looks for it.
if(CMAKE_INSTALL_PREFIX MATCHES "/usr$")
    string(REGEX REPLACE "/usr$" "" corvexa_root "${CMAKE_INSTALL_PREFIX}")
    set(corvexa_record_dir "${corvexa_root}/etc/xdg/Corvexa")
else()
    set(corvexa_record_dir "${CMAKE_INSTALL_PREFIX}/etc/xdg/Corvexa")
endif()
file(INSTALL "${CORVEXA_RECORD_SOURCE}" DESTINATION "${corvexa_record_dir}")

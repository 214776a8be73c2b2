# What `cmake --install` puts on a machine and what `cpack -G DEB` packages: the tools, the
# console's menu entry and icon, a man page per tool made from its own help (packaging/man adds
# what the help does not say), the README and the copyright file.
set(KV_INSTALLED_TOOLS kvcontrol kvctl kvhandheld kverp kvcradle)
set(KV_MAN_NAME_kvcontrol "the handheld control console")
set(KV_MAN_NAME_kvctl "the handheld control module's commands, without windows")
set(KV_MAN_NAME_kvhandheld "a stand-in handheld and its cradle")
set(KV_MAN_NAME_kverp "makes a demo ERP database")
set(KV_MAN_NAME_kvcradle "the network cradle: handheld syncs over HTTP")
# Tools of several commands: their --help-all lists every command with its options.
set(KV_MAN_HELP_kvctl --help-all)
set(KV_MAN_HELP_kvhandheld --help-all)
set(KV_MAN_HELP_kverp --help-all)
set(KV_MAN_HELP_kvcradle --help-all)
# Sections --help does not give (packaging/man): the exit status and the application folder for
# every tool, its files for the tools that use it, and each tool's own variables and files.
set(KV_MAN_USES_FOLDER kvcontrol kvctl kvhandheld kvcradle)
install(TARGETS ${KV_INSTALLED_TOOLS} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kvcontrol.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/kvcontrol.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The network cradle's systemd user unit, naming the program where this install puts it (the
# prefix is known only at install time: --prefix, or /usr in the package).
install(CODE "
    file(READ \"${PROJECT_SOURCE_DIR}/packaging/kvcradle.service.in\" unit)
    string(REPLACE \"@KVCRADLE_PROGRAM@\" \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/kvcradle\" unit \"\${unit}\")
    file(WRITE \"${CMAKE_BINARY_DIR}/kvcradle.service\" \"\${unit}\")")
install(FILES ${CMAKE_BINARY_DIR}/kvcradle.service DESTINATION lib/systemd/user)

# Man pages come from each tool's --help, so they never drift from the program. The console's
# help is read on the offscreen platform: building needs no display.
find_program(KV_HELP2MAN help2man)
if(KV_HELP2MAN)
    set(KV_MAN_PAGES)
    set(man ${PROJECT_SOURCE_DIR}/packaging/man)
    foreach(tool ${KV_INSTALLED_TOOLS})
        set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
        set(includes ${man}/common.h2m)
        if(tool IN_LIST KV_MAN_USES_FOLDER)
            list(APPEND includes ${man}/files.h2m)
        endif()
        if(EXISTS ${man}/${tool}.h2m)
            list(APPEND includes ${man}/${tool}.h2m)
        endif()
        set(include_options)
        foreach(file ${includes})
            list(APPEND include_options --include=${file})
        endforeach()
        add_custom_command(
            OUTPUT ${page}.gz
            COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
            COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
                    ${KV_HELP2MAN} --no-info --no-discard-stderr
                    "--version-string=${PROJECT_VERSION}" "--name=${KV_MAN_NAME_${tool}}"
                    "--help-option=$<IF:$<BOOL:${KV_MAN_HELP_${tool}}>,${KV_MAN_HELP_${tool}},--help>"
                    ${include_options} --output=${page} $<TARGET_FILE:${tool}>
            COMMAND gzip -n -9 -f ${page}
            DEPENDS ${tool} ${includes}
            COMMENT "Man page for ${tool}"
            VERBATIM)
        list(APPEND KV_MAN_PAGES ${page}.gz)
    endforeach()
    add_custom_target(kvman ALL DEPENDS ${KV_MAN_PAGES})
    install(FILES ${KV_MAN_PAGES} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
    message(STATUS "help2man not found: no man pages")
endif()

# The Debian package: Qt's libraries (the HTTP server's too) come through the shared-library
# dependencies; the SQL drivers are plugins nothing links, so they are named here.
set(CPACK_PACKAGE_NAME kvcontrol)
set(CPACK_PACKAGE_VENDOR "kvcontrol")
set(CPACK_PACKAGE_CONTACT "kvcontrol maintainers <kvcontrol@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Keeps a fleet of field handhelds in step with the ERP database")
# One string: the lines given as several arguments would be joined as a list, with ";".
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Sends each handheld its own subset of the ERP's master data, brings home the orders and\n"
    "work orders captured on the handhelds and writes them into the ERP exactly once, and keeps\n"
    "one parameter record per handheld, edited in a console with one tile per device.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6sql6-sqlite, libqt6sql6-psql, libqt6sql6-odbc, unixodbc")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "tdsodbc, odbc-postgresql")
set(CPACK_STRIP_FILES ON)
include(CPack)

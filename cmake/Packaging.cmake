# Installation and two Debian packages. viviv-testprogramm (component
# "programm"): the window's program, the command-line front end, the demo and
# the meter simulator, with a desktop entry and icon. viviv-reportserver
# (component "reportserver"): the maker's report inbox with its systemd unit.
include(GNUInstallDirs)

foreach(prog viviv-testprogramm viviv-cli viviv-demo viviv-metersim)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programm)
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/tools/packaging/viviv-testprogramm.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programm)
install(FILES ${PROJECT_SOURCE_DIR}/resources/Icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME viviv-testprogramm.png COMPONENT programm)

set(_rs_pkg ${PROJECT_SOURCE_DIR}/reportserver/packaging)
install(TARGETS viviv-reportserver RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT reportserver)
# The data directory (/var/lib/viviv-reportserver) is the unit's
# StateDirectory: systemd makes it for the service's own user.
install(FILES ${_rs_pkg}/viviv-reportserver.service DESTINATION /lib/systemd/system COMPONENT reportserver)
install(FILES ${PROJECT_SOURCE_DIR}/tools/packaging/copyright
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/viviv-reportserver COMPONENT reportserver)

# What Debian expects beside the programs: the copyright file, the changelog
# compressed without a time stamp, and a manual page for each command-line
# program, made from its --help at build time. The sanitizer build packages
# nothing and would have to run its programs under the sanitizers.
set(_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/viviv-testprogramm)
install(FILES ${PROJECT_SOURCE_DIR}/tools/packaging/copyright DESTINATION ${_doc_dir} COMPONENT programm)
if(NOT VIVIV_SANITIZE)
  set(_pkg_dir ${CMAKE_BINARY_DIR}/packaging)
  add_custom_command(OUTPUT ${_pkg_dir}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_pkg_dir}
    COMMAND gzip -9nc ${PROJECT_SOURCE_DIR}/tools/packaging/changelog > ${_pkg_dir}/changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/tools/packaging/changelog)
  add_custom_command(OUTPUT ${_pkg_dir}/reportserver/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_pkg_dir}/reportserver
    COMMAND gzip -9nc ${_rs_pkg}/changelog > ${_pkg_dir}/reportserver/changelog.gz
    DEPENDS ${_rs_pkg}/changelog)
  set(_package_files ${_pkg_dir}/changelog.gz ${_pkg_dir}/reportserver/changelog.gz)
  install(FILES ${_pkg_dir}/changelog.gz DESTINATION ${_doc_dir} COMPONENT programm)
  install(FILES ${_pkg_dir}/reportserver/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/viviv-reportserver COMPONENT reportserver)

  # Manual pages, made from each program's --help at build time. The user
  # programs' pages are German like their help, headings included; the
  # simulator, a tool for developers, speaks English.
  find_program(HELP2MAN help2man REQUIRED)
  set(_german_page ${PROJECT_SOURCE_DIR}/tools/packaging/german-man-page.cmake)
  set(_man_scripts ${_german_page} ${PROJECT_SOURCE_DIR}/tools/packaging/man-headings.cmake)
  # program | language | NAME line | SYNOPSIS (empty: help2man reads it from "Usage:")
  set(_man_pages
    "viviv-cli|de|prüft Lesekopf und RS485-Konverter am Stromzähler, ohne Fenster|.B viviv-cli\n.RI [ Optionen ]"
    "viviv-demo|de|das Testprogramm vor simulierten Zählern, ohne Hardware|.B viviv-demo\n.RI [ Optionen ]"
    "viviv-metersim|en|a simulated electricity meter on a pseudo-terminal|"
    "viviv-reportserver|en|the maker's inbox for results sent from the Viviv test program|")
  set(_german_pages "")
  foreach(entry ${_man_pages})
    string(REPLACE "|" ";" fields "${entry}")
    list(GET fields 0 prog)
    list(GET fields 1 language)
    list(GET fields 2 summary)
    list(GET fields 3 synopsis)
    if(NOT TARGET ${prog})
      continue()
    endif()
    set(include "[NAME]\n${prog} \\- ${summary}\n")
    if(synopsis)
      string(APPEND include "[SYNOPSIS]\n${synopsis}\n")
    endif()
    # Examples with transcripts, where a program has them.
    set(examples ${PROJECT_SOURCE_DIR}/tools/packaging/${prog}.examples)
    if(EXISTS ${examples})
      file(READ ${examples} text)
      string(APPEND include "[EXAMPLES]\n${text}")
      set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${examples})
    endif()
    # Each page names the package's other programs.
    set(see_also "")
    foreach(other viviv-testprogramm viviv-cli viviv-demo viviv-metersim)
      if(NOT other STREQUAL prog)
        list(APPEND see_also ".BR ${other} (1)")
      endif()
    endforeach()
    string(REPLACE ";" ",\n" see_also "${see_also}")
    string(APPEND include "[SEE ALSO]\n${see_also}\n")
    file(WRITE ${_pkg_dir}/${prog}.h2m "${include}")
    set(_make_german "")
    if(language STREQUAL "de")
      list(APPEND _german_pages ${prog})
      set(_make_german COMMAND ${CMAKE_COMMAND} -DIN=${_pkg_dir}/${prog}.1 -DOUT=${_pkg_dir}/${prog}.1
                               -DVERSION=${PROJECT_VERSION} -P ${_german_page})
    endif()
    add_custom_command(OUTPUT ${_pkg_dir}/${prog}.1.gz
      COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${prog}>:$ENV{PATH}"
              ${HELP2MAN} --locale=C.UTF-8 --no-info --version-string=${PROJECT_VERSION}
              --include=${_pkg_dir}/${prog}.h2m --output=${_pkg_dir}/${prog}.1 ${prog}
      ${_make_german}
      COMMAND gzip -9nf ${_pkg_dir}/${prog}.1
      DEPENDS ${prog} ${_pkg_dir}/${prog}.h2m ${_man_scripts}
      VERBATIM)
    list(APPEND _package_files ${_pkg_dir}/${prog}.1.gz)
    set(_component programm)
    if(prog STREQUAL "viviv-reportserver")
      set(_component reportserver)
    endif()
    install(FILES ${_pkg_dir}/${prog}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${_component})
  endforeach()
  # The window's program takes no options: its page is written by hand.
  if(TARGET viviv-testprogramm)
    set(_page_source ${PROJECT_SOURCE_DIR}/tools/packaging/viviv-testprogramm.1)
    add_custom_command(OUTPUT ${_pkg_dir}/viviv-testprogramm.1.gz
      COMMAND ${CMAKE_COMMAND} -DIN=${_page_source} -DOUT=${_pkg_dir}/viviv-testprogramm.1
              -DVERSION=${PROJECT_VERSION} -P ${_german_page}
      COMMAND gzip -9nf ${_pkg_dir}/viviv-testprogramm.1
      DEPENDS ${_page_source} ${_man_scripts}
      VERBATIM)
    list(APPEND _package_files ${_pkg_dir}/viviv-testprogramm.1.gz)
    list(APPEND _german_pages viviv-testprogramm)
    install(FILES ${_pkg_dir}/viviv-testprogramm.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT programm)
  endif()
  add_custom_target(package_files ALL DEPENDS ${_package_files})
  if(TARGET viviv-metersim)
    string(REPLACE ";" "," _german_pages "${_german_pages}")
    viviv_add_test_case(EXE ${CMAKE_COMMAND} NAME man_pages TIMEOUT 30
      ARGS -DDIR=${_pkg_dir} -DGERMAN=${_german_pages} -DSIMULATOR=viviv-metersim
           -P ${PROJECT_SOURCE_DIR}/tools/packaging/check-man-pages.cmake)
  endif()
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL programm reportserver)
set(CPACK_PACKAGE_NAME viviv-testprogramm)
set(CPACK_DEBIAN_PROGRAMM_PACKAGE_NAME viviv-testprogramm)
set(CPACK_DEBIAN_REPORTSERVER_PACKAGE_NAME viviv-reportserver)
set(CPACK_PACKAGE_VENDOR "Viviv")
set(CPACK_PACKAGE_CONTACT "Viviv <support@viviv.invalid>")
# Each description: the first line is the synopsis.
set(CPACK_COMPONENT_PROGRAMM_DESCRIPTION "Test program for optical meter reading heads and RS485 converters
Tests an optical reading head or an RS485-to-USB converter against an
electricity meter: SML, the IEC 62056-21 data readout and Modbus RTU, with the
decoded values, a coloured log, a printed report and an upload. Includes the
window's program (German), the command-line front end viviv-cli, a demo and
a meter simulator.")
set(CPACK_COMPONENT_REPORTSERVER_DESCRIPTION "Report inbox for the Viviv test program
Receives the results that users send from the Viviv test program, reads the
tests, telegrams and values from each log and keeps them in SQLite or
PostgreSQL. Web pages (German) list the reports with filters, show which
meter models work with which accessory, and offer each telegram as a meter
file for the simulator. Runs as a systemd service.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_REPORTSERVER_PACKAGE_SECTION net)
# Library dependencies are read off the binaries (Qt's platform and image
# plugins come with libqt5gui5 or libqt6gui6, which they pull in).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not read off any binary: the report's font (Liberation Sans has Arial's
# metrics, for which the page is laid out) and Qt's German texts; for the
# report server Qt's database drivers, which Qt loads as plugins.
set(_qt_translations qttranslations5-l10n)
set(_qt_sql_drivers "libqt5sql5-sqlite, libqt5sql5-psql")
if(VIVIV_QT_MAJOR STREQUAL "6")
  set(_qt_translations qt6-translations-l10n)
  set(_qt_sql_drivers "libqt6sql6-sqlite, libqt6sql6-psql")
endif()
set(CPACK_DEBIAN_PROGRAMM_PACKAGE_DEPENDS "fonts-liberation2, ${_qt_translations}")
set(CPACK_DEBIAN_REPORTSERVER_PACKAGE_DEPENDS "${_qt_sql_drivers}")
set(CPACK_DEBIAN_REPORTSERVER_PACKAGE_CONTROL_EXTRA ${_rs_pkg}/postinst ${_rs_pkg}/prerm ${_rs_pkg}/postrm)
set(CPACK_DEBIAN_REPORTSERVER_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package check as a test of the plain Qt 5 build, the one that is
# shipped (a sanitizer build would package binaries that need the sanitizer
# runtime).
if(NOT VIVIV_SANITIZE AND VIVIV_QT_MAJOR STREQUAL "5")
  add_test(NAME package_check COMMAND ${PROJECT_SOURCE_DIR}/tools/packaging/check-package.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_check PROPERTIES TIMEOUT 300)
endif()

# Installation and the Debian package: the window's program, the command-line
# front end, the demo and the meter simulator, with a desktop entry and icon.
include(GNUInstallDirs)

foreach(prog viviv-testprogramm viviv-cli viviv-demo viviv-metersim)
  if(TARGET ${prog})
    install(TARGETS ${prog} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
install(FILES ${PROJECT_SOURCE_DIR}/tools/packaging/viviv-testprogramm.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/resources/Icon.png
        DESTINATION ${CMAKE_INSTALL_DATADIR}/pixmaps RENAME viviv-testprogramm.png)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME viviv-testprogramm)
set(CPACK_PACKAGE_VENDOR "Viviv")
set(CPACK_PACKAGE_CONTACT "Viviv <support@viviv.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Test program for optical meter reading heads and RS485 converters")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
# Library dependencies are read off the binaries (Qt's platform and image
# plugins come with libqt5gui5, which they pull in).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Not read off any binary: the report's font (Liberation Sans has Arial's
# metrics, for which the page is laid out) and Qt's German texts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2, qttranslations5-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package check as a test of the plain build (a sanitizer build would
# package binaries that need the sanitizer runtime).
if(NOT VIVIV_SANITIZE)
  add_test(NAME package_check COMMAND ${PROJECT_SOURCE_DIR}/tools/packaging/check-package.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(package_check PROPERTIES TIMEOUT 300)
endif()

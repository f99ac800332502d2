# Install layout and packages.
#   Linux: bin/zentor, bin/zentor-cli, bin/zentor-sim; desktop entries and icons in
#   share/applications and share/icons/hicolor; manual pages in share/man/man1; bash
#   completion; the training samples in share/zentor/samples; docs in share/doc/zentor.
#   `cpack -G DEB` in the build folder makes zentor_<version>_amd64.deb.
#   Windows (MinGW cross build): zentor-cli.exe, README and docs at the top of a zip
#   made by `cpack -G ZIP`.
# The programs' own install() lines are in cli/, gui/ and sim/.
include(GNUInstallDirs)
set(ZENTOR_PACKAGING_DIR ${CMAKE_SOURCE_DIR}/packaging)

if(WIN32)
  # The archive is a folder to copy: programs beside their README and settings.
  set(CMAKE_INSTALL_BINDIR .)
  set(ZENTOR_DOC_DIR .)
else()
  set(ZENTOR_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
endif()

install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${ZENTOR_DOC_DIR})
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs DESTINATION ${ZENTOR_DOC_DIR}
        FILES_MATCHING PATTERN "*.md" PATTERN "*.png")
if(NOT WIN32)
  install(FILES ${CMAKE_SOURCE_DIR}/sim/README.md DESTINATION ${ZENTOR_DOC_DIR}/sim)
endif()

# The samples of the training mode, also where a built zentor finds them.
file(GLOB ZENTOR_SAMPLES ${CMAKE_SOURCE_DIR}/samples/*.bin)
foreach(sample ${ZENTOR_SAMPLES})
  get_filename_component(name ${sample} NAME)
  configure_file(${sample} ${CMAKE_BINARY_DIR}/share/zentor/samples/${name} COPYONLY)
endforeach()

if(NOT WIN32)
  install(FILES ${ZENTOR_SAMPLES} DESTINATION ${CMAKE_INSTALL_DATADIR}/zentor/samples)
  install(FILES ${ZENTOR_PACKAGING_DIR}/zentor.desktop ${ZENTOR_PACKAGING_DIR}/zentor-training.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  foreach(size 16 24 32 48 64 128 256)
    install(FILES ${ZENTOR_PACKAGING_DIR}/icons/zentor-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME zentor.png)
  endforeach()
  install(FILES ${ZENTOR_PACKAGING_DIR}/bash-completion/zentor-cli
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)

  # Manual pages and the changelog, compressed as Debian wants them.
  set(ZENTOR_DATE "2026-12-10")
  set(compressed)
  foreach(page zentor.1 zentor-cli.1 zentor-sim.1)
    configure_file(${ZENTOR_PACKAGING_DIR}/man/${page}.in ${CMAKE_BINARY_DIR}/man/${page} @ONLY)
    list(APPEND compressed ${CMAKE_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/man/${page}.gz
      COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/man/${page}
      DEPENDS ${CMAKE_BINARY_DIR}/man/${page} VERBATIM)
    install(FILES ${CMAKE_BINARY_DIR}/man/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  configure_file(${ZENTOR_PACKAGING_DIR}/changelog.in ${CMAKE_BINARY_DIR}/packaging/changelog @ONLY)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/changelog.gz
    COMMAND gzip -9nf -k ${CMAKE_BINARY_DIR}/packaging/changelog
    DEPENDS ${CMAKE_BINARY_DIR}/packaging/changelog VERBATIM)
  list(APPEND compressed ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
  add_custom_target(zentor_docs ALL DEPENDS ${compressed})
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz ${ZENTOR_PACKAGING_DIR}/copyright
          DESTINATION ${ZENTOR_DOC_DIR})
endif()

# --- CPack --------------------------------------------------------------------
set(CPACK_PACKAGE_NAME zentor)
set(CPACK_PACKAGE_VENDOR "Zentor developers")
set(CPACK_PACKAGE_CONTACT "Zentor developers <zentor@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "firmware update and chip programming for MSC1210Y instruments")
set(CPACK_PACKAGE_DESCRIPTION
    "Zentor is a service and production tool for measuring instruments built
around the TI MSC1210Y microcontroller. Over one serial port it updates an
instrument's firmware in the field while keeping its calibration, programs
chips through the boot ROM or a hardware programmer, reads and writes the
DATA FLASH, builds the firmware image and makes update packages bound to a
serial number.

The package holds the window program (zentor), the command-line tool for
scripts and production lines (zentor-cli) and a simulator of the instrument,
boot ROM and programmer (zentor-sim), which the training mode uses.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY zentor)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window needs Arial or its metric twin.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
endif()
include(CPack)

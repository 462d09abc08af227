# What a lab installs, made by CPack from the builds the tests use:
#   Windows cross builds: an NSIS installer and a ZIP holding zeltra.exe,
#     zeltra-cursor.exe and zeltra-fit.exe (the emulator needs a pty and stays on
#     Linux), README.txt (the user's guide) and LICENSE.txt;
#   Linux: zeltra_<version>_<arch>.deb with the program, the tools, a desktop
#     entry, an icon, AppStream metainfo, man pages, the user's guide
#     (/usr/share/doc/zeltra/README.gz), copyright and changelog.
# The user's guide is doc/README.user.md; README.md is the developers' and is not
# shipped.
# scripts/dist runs cpack in each build; `make dist` puts the packages in build/dist.
set(ZELTRA_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(ZELTRA_APP_ID org.zeltra.Zeltra)
set(ZELTRA_USER_README ${PROJECT_SOURCE_DIR}/doc/README.user.md)

set(CPACK_PACKAGE_NAME Zeltra)
set(CPACK_PACKAGE_VENDOR "The Zeltra developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Co-register a magnetic head tracker with an MRI scan")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Zeltra)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_STRIP_FILES ON)

# The program and tools that exist in this build.
set(zeltra_installed)
foreach(t IN ITEMS zeltra zeltra-fit zeltra-cursor zeltra-trackersim)
  if(TARGET ${t} AND NOT (WIN32 AND t STREQUAL "zeltra-trackersim"))
    list(APPEND zeltra_installed ${t})
  endif()
endforeach()

if(WIN32)
  # Everything in the installation folder itself.
  install(TARGETS ${zeltra_installed} RUNTIME DESTINATION .)
  # The user's guide as Windows' editors want a text file: CR LF line ends, and a
  # UTF-8 byte order mark, without which Notepad before Windows 10 takes the
  # menu captions' ellipsis for three odd characters. Written again whenever the
  # guide changes (the build reruns CMake).
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ZELTRA_USER_README})
  file(READ ${ZELTRA_USER_README} zeltra_readme)
  string(REPLACE "\r\n" "\n" zeltra_readme "${zeltra_readme}")
  string(REPLACE "\n" "\r\n" zeltra_readme "${zeltra_readme}")
  string(ASCII 239 187 191 zeltra_bom)
  file(WRITE ${CMAKE_BINARY_DIR}/packaging/README.txt "${zeltra_bom}${zeltra_readme}")
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt COPYONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt DESTINATION .)

  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(zeltra_arch win64)
    set(zeltra_bits 64-bit)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    # NSIS's own installer is a 32-bit program; this makes a 64-bit one.
    set(zeltra_nsis_target "Target amd64-unicode")
  else()
    set(zeltra_arch win32)
    set(zeltra_bits 32-bit)
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES")
    set(zeltra_nsis_target "Unicode true")
  endif()
  set(CPACK_GENERATOR NSIS ZIP)
  set(CPACK_PACKAGE_FILE_NAME Zeltra-${PROJECT_VERSION}-${zeltra_arch})
  set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt)
  set(CPACK_NSIS_PACKAGE_NAME "Zeltra")
  set(CPACK_NSIS_DISPLAY_NAME "Zeltra ${PROJECT_VERSION} (${zeltra_bits})")
  # One key per architecture, so that both builds can be installed side by side.
  set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "Zeltra (${zeltra_bits})")
  # Start-menu shortcuts Zeltra and Uninstall in a folder named Zeltra.
  set(CPACK_PACKAGE_EXECUTABLES zeltra Zeltra)
  # and the user's guide beside them.
  set(CPACK_NSIS_MENU_LINKS README.txt "Zeltra guide")
  set(CPACK_NSIS_DEFINES "${zeltra_nsis_target}\n!define MUI_STARTMENUPAGE_DEFAULTFOLDER \"Zeltra\"")
  set(CPACK_NSIS_INSTALLED_ICON_NAME zeltra.exe)
  set(CPACK_NSIS_MODIFY_PATH OFF)
  set(zeltra_ico ${PROJECT_SOURCE_DIR}/src/app/win32/zeltra.ico)
  if(EXISTS ${zeltra_ico})
    set(CPACK_NSIS_MUI_ICON ${zeltra_ico})
    set(CPACK_NSIS_MUI_UNIICON ${zeltra_ico})
  endif()
else()
  set(zeltra_doc share/doc/zeltra)
  install(TARGETS ${zeltra_installed} RUNTIME DESTINATION bin)
  install(FILES ${ZELTRA_PACKAGING_DIR}/linux/${ZELTRA_APP_ID}.desktop DESTINATION share/applications)
  install(FILES ${ZELTRA_PACKAGING_DIR}/linux/${ZELTRA_APP_ID}.svg DESTINATION share/icons/hicolor/scalable/apps)
  configure_file(${ZELTRA_PACKAGING_DIR}/linux/${ZELTRA_APP_ID}.metainfo.xml.in
                 ${CMAKE_BINARY_DIR}/packaging/${ZELTRA_APP_ID}.metainfo.xml @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${ZELTRA_APP_ID}.metainfo.xml DESTINATION share/metainfo)
  install(FILES ${ZELTRA_PACKAGING_DIR}/linux/copyright DESTINATION ${zeltra_doc})
  install(FILES ${ZELTRA_PACKAGING_DIR}/linux/lintian-overrides DESTINATION share/lintian/overrides RENAME zeltra)

  # The changelog and the man pages, with the version, compressed as Debian wants
  # (gzip -9n: no name or time stamp, so the same bytes every time).
  set(zeltra_gz)
  function(zeltra_gzip in out)
    configure_file(${in} ${CMAKE_BINARY_DIR}/packaging/${out} @ONLY)
    add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${out}.gz
                       COMMAND gzip -9n -c ${CMAKE_BINARY_DIR}/packaging/${out} > ${CMAKE_BINARY_DIR}/packaging/${out}.gz
                       DEPENDS ${in} VERBATIM)
    set(zeltra_gz ${zeltra_gz} ${CMAKE_BINARY_DIR}/packaging/${out}.gz PARENT_SCOPE)
  endfunction()
  zeltra_gzip(${ZELTRA_PACKAGING_DIR}/linux/changelog.in changelog)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/changelog.gz DESTINATION ${zeltra_doc})
  # The user's guide as README.gz: Debian compresses documentation above 4 KB.
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/README.gz
                     COMMAND gzip -9n -c ${ZELTRA_USER_README} > ${CMAKE_BINARY_DIR}/packaging/README.gz
                     DEPENDS ${ZELTRA_USER_README} VERBATIM)
  list(APPEND zeltra_gz ${CMAKE_BINARY_DIR}/packaging/README.gz)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.gz DESTINATION ${zeltra_doc})
  foreach(t IN LISTS zeltra_installed)
    zeltra_gzip(${ZELTRA_PACKAGING_DIR}/linux/man/${t}.1 ${t}.1)
    install(FILES ${CMAKE_BINARY_DIR}/packaging/${t}.1.gz DESTINATION share/man/man1)
  endforeach()
  add_custom_target(zeltra_package_docs ALL DEPENDS ${zeltra_gz})

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME zeltra)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Zeltra developers <developers@zeltra.org>")
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  # The extended description; CPack puts the summary before it.
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
      "Zeltra records pairs of MRI voxel and tracker position while an operator\n"
      "touches landmarks of a subject's head with the sensor of a magnetic tracker\n"
      "(Flock of Birds, miniBIRD or Fastrak on a serial port). It fits an affine map\n"
      "per MRI axis by least squares, reports the fit and a check of every landmark,\n"
      "and then publishes every live reading as a voxel to an MRI viewer through a\n"
      "named shared-memory block, so that the viewer's cursor follows the sensor.\n"
      "The package holds the Qt window and the tools zeltra-fit, zeltra-cursor (a\n"
      "stand-in for the viewer) and zeltra-trackersim (a tracker emulator).")
  string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
endif()

include(CPack)

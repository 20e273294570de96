# Installing and packaging: the programs in bin/, the README and the licence
# in the documentation folder; a .tar.gz and a .deb on Linux, a .zip on
# Windows, where the programs and their documents sit side by side.
include(GNUInstallDirs)

if(WIN32)
  set(SKINTOOLS_INSTALL_BINDIR .)
  set(SKINTOOLS_INSTALL_DOCDIR .)
else()
  set(SKINTOOLS_INSTALL_BINDIR ${CMAKE_INSTALL_BINDIR})
  set(SKINTOOLS_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/palm-skin-tools)
endif()

install(TARGETS Tessel Recast RUNTIME DESTINATION ${SKINTOOLS_INSTALL_BINDIR})
if(TARGET Lumen)
  install(TARGETS Lumen RUNTIME DESTINATION ${SKINTOOLS_INSTALL_BINDIR})
endif()
install(FILES README.md LICENSE DESTINATION ${SKINTOOLS_INSTALL_DOCDIR})

set(CPACK_PACKAGE_NAME palm-skin-tools)
set(CPACK_PACKAGE_VENDOR "Palm skin tools")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Tools that compress, convert and inspect Palm OS handheld skins")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR TGZ DEB)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Palm skin tools <palm-skin-tools@users.noreply.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Derives the package's dependencies (libc, libstdc++) from the programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

# Read by cpack once for each generator (CPACK_PROJECT_CONFIG_FILE). Debian
# keeps a package's licence in /usr/share/doc/<package>/copyright alone
# (lintian: extra-license-file); the archives carry LICENSE beside it. Only an
# install by components leaves one out, so the .deb is built from the others,
# all in one package.
if(CPACK_GENERATOR STREQUAL "DEB")
  list(REMOVE_ITEM CPACK_COMPONENTS_ALL licence)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
endif()

# Read by CPack once per generator.
if(CPACK_GENERATOR STREQUAL "DEB")
  # A .deb puts the kit in /opt/<package>/install: the launcher finds its
  # catalogues, qelparam.ini and the staged area relative to its own
  # directory, so the kit stays one self-contained directory (an add-on
  # package's place is /opt), and a medium is made by copying that directory.
  set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/${CPACK_PACKAGE_NAME}/install")
else()
  set(CPACK_PACKAGING_INSTALL_PREFIX "/install")
endif()

# Run by CPack after it has laid out the kit and before it packs it: signs
# the Windows programs of the kit when QEL_SIGN_PKCS12 names a PKCS#12 file
# (scripts/sign.sh). Without it the kit is packed unsigned.
message(STATUS "pre-build vars: ${CPACK_TEMPORARY_INSTALL_DIRECTORY} | ${CPACK_TEMPORARY_DIRECTORY} | ${CPACK_PACKAGE_DIRECTORY}")
get_cmake_property(vars VARIABLES)
foreach(v ${vars})
  if(v MATCHES "TEMPORARY|TOPLEVEL|INSTALL")
    message(STATUS "${v}=${${v}}")
  endif()
endforeach()

# Run by CPack after it has laid out the kit and before it packs it: when
# QEL_SIGN_PKCS12 is set, the Windows programs of the kit are signed
# (scripts/sign.sh). Unset, the kit is packed unsigned.
cmake_policy(VERSION 3.20)
if("$ENV{QEL_SIGN_PKCS12}" STREQUAL "")
  return()
endif()
file(GLOB_RECURSE programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.exe")
if(NOT programs)
  return()
endif()
execute_process(COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/sign.sh ${programs}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "The kit's programs could not be signed")
endif()

# The launcher kit: `cmake --install` lays out a distribution medium's
# install/ directory (the launcher, its unzip program, the catalogues, a
# sample qelparam.ini and README.txt); scripts/package.sh packs it: a zip
# from each Windows build, a .tar.gz and a .deb from the Linux build.

# The programs of the kit: the launcher, its unzip program and the medium
# checker (tools/qelcheck).
set(QEL_KIT_PROGRAMS
  setup
  unzip
  qelcheck
)

qel_add_version_resource(setup DESCRIPTION "Setup launcher"
                         ICON ${CMAKE_SOURCE_DIR}/packaging/icon/setup_icon.txt)

# The kit's programs as they ship: no symbols in the Windows programs (the
# Linux packages strip theirs), and no demangler behind the handler of an
# uncaught exception. packaging/size_budgets.txt holds what each may weigh.
if(QEL_SHIPPING_BUILD)
  foreach(program ${QEL_KIT_PROGRAMS})
    target_sources(${program} PRIVATE ${CMAKE_SOURCE_DIR}/packaging/terminate_handler.cpp)
    if(WIN32)
      target_link_options(${program} PRIVATE -s)
    endif()
  endforeach()
endif()

# Texts of the kit, with the platform's names and line ends.
set(EXE ${CMAKE_EXECUTABLE_SUFFIX})
if(WIN32)
  if(QEL_WINDOWS_ARCH STREQUAL "x86")
    set(QEL_KIT_PLATFORM "32-bit Windows")
    set(QEL_KIT_SYSTEM win32)
  elseif(QEL_WINDOWS_ARCH STREQUAL "amd64")
    set(QEL_KIT_PLATFORM "64-bit Windows (x64)")
    set(QEL_KIT_SYSTEM win64)
  else()
    set(QEL_KIT_PLATFORM "Windows on ${QEL_WINDOWS_ARCH}")
    set(QEL_KIT_SYSTEM win-${QEL_WINDOWS_ARCH})
  endif()
  set(QEL_KIT_STAGED_JRE "..\\stage\\Components\\quelta.swd.jre\\<version>\\1\\DataFiles")
  set(QEL_KIT_STATUS_RUNNING "259 (STILL_ACTIVE)")
  set(QEL_KIT_STATUS_NOPARAM "-2")
  set(QEL_KIT_STATUS_FAILED "-1")
  set(newlines WIN32)
else()
  set(QEL_KIT_PLATFORM "Linux")
  set(QEL_KIT_STAGED_JRE "../stage/Components/quelta.swd.jre/<version>/1/DataFiles")
  set(QEL_KIT_STATUS_RUNNING "3 (the 259 of Windows, cut to 8 bits)")
  set(QEL_KIT_STATUS_NOPARAM "254 (-2)")
  set(QEL_KIT_STATUS_FAILED "255 (-1)")
  set(newlines UNIX)
endif()
# The README speaks of the medium checker only in a kit that holds it.
set(QEL_KIT_CHECKER_ITEM "")
set(QEL_KIT_CHECKER_TEXT "")
if("qelcheck" IN_LIST QEL_KIT_PROGRAMS)
  set(QEL_KIT_CHECKER_ITEM "  qelcheck${EXE}\n      the medium checker\n")
  file(READ ${CMAKE_SOURCE_DIR}/packaging/README-checker.txt QEL_KIT_CHECKER_TEXT)
  string(CONFIGURE "${QEL_KIT_CHECKER_TEXT}" QEL_KIT_CHECKER_TEXT @ONLY)
  # configure_file gives its own lines the platform's line ends, not the
  # lines a substituted text brings.
  if(newlines STREQUAL "WIN32")
    string(REPLACE "\n" "\r\n" QEL_KIT_CHECKER_ITEM "${QEL_KIT_CHECKER_ITEM}")
    string(REPLACE "\n" "\r\n" QEL_KIT_CHECKER_TEXT "${QEL_KIT_CHECKER_TEXT}")
  endif()
endif()
configure_file(${CMAKE_SOURCE_DIR}/packaging/README.txt.in ${CMAKE_BINARY_DIR}/kit/README.txt
               @ONLY NEWLINE_STYLE ${newlines})
configure_file(${CMAKE_SOURCE_DIR}/packaging/qelparam.ini ${CMAKE_BINARY_DIR}/kit/qelparam.ini
               @ONLY NEWLINE_STYLE ${newlines})

install(TARGETS ${QEL_KIT_PROGRAMS} RUNTIME DESTINATION .)
install(FILES ${QEL_CATALOGUES} DESTINATION resource)
install(FILES ${CMAKE_BINARY_DIR}/kit/qelparam.ini ${CMAKE_BINARY_DIR}/kit/README.txt DESTINATION .)

# The archive of this build's kit, named once here for scripts/package.sh,
# which lays the kit out with `cmake --install` and packs it
# (packaging/pack_kit.py): qelsetup-<version>-win32.zip, -win64.zip,
# -linux-<processor>.tar.gz.
set(QEL_KIT_NAME qelsetup)
if(WIN32)
  set(QEL_KIT_ARCHIVE ${QEL_KIT_NAME}-${PROJECT_VERSION}-${QEL_KIT_SYSTEM}.zip)
else()
  set(QEL_KIT_ARCHIVE ${QEL_KIT_NAME}-${PROJECT_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR}.tar.gz)
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/kit/archive_name.txt CONTENT "${QEL_KIT_ARCHIVE}\n")
# Directories the install makes do not depend on the umask of whoever builds.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The .deb of the Linux build, made by CPack. SOURCE_DATE_EPOCH (set by
# scripts/package.sh) fixes its time stamps; its files belong to root.
if(NOT WIN32)
  set(CPACK_PACKAGE_NAME ${QEL_KIT_NAME})
  set(CPACK_PACKAGE_VENDOR ${QEL_COMPANY})
  set(CPACK_PACKAGE_CONTACT "Quelta setup launcher team <setup-launcher@quelta.example>")
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Setup launcher kit: the install directory of a distribution medium")
  set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
  set(CPACK_GENERATOR DEB)
  # The kit lives in /opt/qelsetup/install: the launcher finds its
  # catalogues, qelparam.ini and the staged area relative to its own
  # directory, so the kit stays one self-contained directory (an add-on
  # package's place is /opt), and a medium is made by copying that directory.
  set(CPACK_PACKAGING_INSTALL_PREFIX "/opt/${CPACK_PACKAGE_NAME}/install")
  set(CPACK_STRIP_FILES TRUE)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION admin)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  include(CPack)
endif()

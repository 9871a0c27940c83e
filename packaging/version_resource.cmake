# Identity of the Windows programs: a version resource (company, product,
# description, file and product version from project(VERSION), original file
# name, copyright) and, where one is given, the application icon, compiled
# with windres. The Linux build has no such resources: the functions do
# nothing there.

set(QEL_COMPANY "Quelta")
set(QEL_PRODUCT_NAME "Quelta Setup Launcher")
set(QEL_COPYRIGHT "Copyright (C) 2026 Quelta")

# qel_add_version_resource(<target> DESCRIPTION <text> [ICON <pixel map>])
# The ICON is a text pixel map (packaging/icon/setup_icon.txt) that the build
# turns into a 16, 32 and 48 pixel icon.
function(qel_add_version_resource target)
  cmake_parse_arguments(PARSE_ARGV 1 QEL_VR "" "DESCRIPTION;ICON" "")
  if(NOT WIN32)
    return()
  endif()
  if(NOT QEL_VR_DESCRIPTION)
    message(FATAL_ERROR "qel_add_version_resource(${target}): DESCRIPTION missing")
  endif()
  get_target_property(output_name ${target} OUTPUT_NAME)
  if(NOT output_name)
    set(output_name ${target})
  endif()
  set(QEL_VR_INTERNAL ${output_name})
  set(QEL_VR_FILE ${output_name}${CMAKE_EXECUTABLE_SUFFIX})
  list(JOIN QEL_VERSION_PARTS "," QEL_VR_NUMBERS)

  set(dir ${CMAKE_BINARY_DIR}/version_resources)
  set(rc ${dir}/${target}_version.rc)
  set(QEL_VR_ICON_LINE "")
  set(ico "")
  if(QEL_VR_ICON)
    set(ico ${dir}/${target}.ico)
    add_custom_command(OUTPUT ${ico}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
      COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/packaging/icon/make_icon.py
              ${QEL_VR_ICON} ${ico} 16 32 48
      DEPENDS ${QEL_VR_ICON} ${CMAKE_SOURCE_DIR}/packaging/icon/make_icon.py
      COMMENT "Icon of ${QEL_VR_FILE}")
    # windres reads the icon while it compiles the script: the script's
    # object depends on it.
    set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${ico})
    set(QEL_VR_ICON_LINE "1 ICON \"${ico}\"")
  endif()
  configure_file(${CMAKE_SOURCE_DIR}/packaging/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc} ${ico})
endfunction()

# The application manifest of a Windows program (resource type 24, id 1),
# written from resource/app.manifest.in: the UTF-8 process code page, long
# paths, the supported systems and the program's execution level. The Linux
# build has no manifests: the function does nothing there.
#
# qel_add_app_manifest(<target> LEVEL <asInvoker|requireAdministrator>
#                      DESCRIPTION <text>)
function(qel_add_app_manifest target)
  cmake_parse_arguments(PARSE_ARGV 1 QEL_AM "" "LEVEL;DESCRIPTION" "")
  if(NOT WIN32)
    return()
  endif()
  if(NOT QEL_AM_LEVEL MATCHES "^(asInvoker|requireAdministrator|highestAvailable)$")
    message(FATAL_ERROR "qel_add_app_manifest(${target}): LEVEL must be an execution level")
  endif()
  if(NOT QEL_AM_DESCRIPTION)
    message(FATAL_ERROR "qel_add_app_manifest(${target}): DESCRIPTION missing")
  endif()
  set(QEL_AM_NAME "Quelta.Setup.${target}")
  list(JOIN QEL_VERSION_PARTS "." QEL_AM_VERSION)

  set(dir ${CMAKE_BINARY_DIR}/manifests)
  set(manifest ${dir}/${target}.manifest)
  set(rc ${dir}/${target}_manifest.rc)
  configure_file(${CMAKE_SOURCE_DIR}/resource/app.manifest.in ${manifest} @ONLY)
  file(CONFIGURE OUTPUT ${rc} CONTENT "1 24 \"${manifest}\"\n")
  # windres reads the manifest while it compiles the script.
  set_source_files_properties(${rc} PROPERTIES OBJECT_DEPENDS ${manifest})
  target_sources(${target} PRIVATE ${rc})
endfunction()

# The application manifest of a Windows program (resource type 24, id 1),
# written from resource/app.manifest.in: the UTF-8 process code page, long
# paths, the supported systems, the program's execution level and its
# processor architecture. The Linux build has no manifests: the function does
# nothing there.

# The manifest's identity names the architecture the program is built for
# (x86 in the 32-bit build, amd64 in the 64-bit one).
if(WIN32)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i[3-6]86|x86)$")
    set(QEL_WINDOWS_ARCH x86)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
    set(QEL_WINDOWS_ARCH amd64)
  elseif(CMAKE_SYSTEM_PROCESSOR MATCHES "^(aarch64|ARM64|arm64)$")
    set(QEL_WINDOWS_ARCH arm64)
  else()
    message(FATAL_ERROR "No manifest architecture for processor ${CMAKE_SYSTEM_PROCESSOR}")
  endif()
endif()
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
  set(QEL_AM_ARCH ${QEL_WINDOWS_ARCH})
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

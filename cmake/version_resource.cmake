# vntr_version_resource(<target> <rc file>): on Windows, compiles the
# target's own .rc, which includes vntr_version.h (the product version from
# project()) and version_info.rc (the shared VERSIONINFO block). Other
# platforms carry no resources, so the call does nothing there.
include_guard(GLOBAL)

function(vntr_version_resource target rc_file)
  if(NOT WIN32)
    return()
  endif()
  set(version_dir ${PROJECT_BINARY_DIR}/generated)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.h.in ${version_dir}/vntr_version.h @ONLY)
  get_filename_component(rc_path ${rc_file} ABSOLUTE)
  target_sources(${target} PRIVATE ${rc_path})
  set_property(SOURCE ${rc_path} APPEND PROPERTY INCLUDE_DIRECTORIES
               ${version_dir} ${PROJECT_SOURCE_DIR}/cmake)
  set_property(SOURCE ${rc_path} APPEND PROPERTY OBJECT_DEPENDS
               ${version_dir}/vntr_version.h ${PROJECT_SOURCE_DIR}/cmake/version_info.rc)
endfunction()

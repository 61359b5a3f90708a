# Installed layout under the prefix. Nothing refers to the prefix itself, so
# the tree works wherever it is unpacked:
#   bin/                                links to the programs in lib/vtrpro/
#   lib/vtrpro/                         the programs, the framework library and
#                                       every plug-in (the program folder)
#   share/vtrpro/res/                   help pages and other resources
#   share/applications, share/mime/packages, share/icons/hicolor
#   share/man/man1, share/bash-completion/completions, share/doc/vtrpro
#
# The programs are installed beside their modules and reached through relative
# links: the program folder is the folder of /proc/self/exe, which the kernel
# resolves through the link, and RPATH $ORIGIN finds the framework library.

set(VTRPRO_INSTALL_PROGRAM_DIR lib/vtrpro)
set(VTRPRO_INSTALL_DATA_DIR share/vtrpro)
set(_pkg ${PROJECT_SOURCE_DIR}/packaging)
set(_gen ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${_gen}/bin ${_gen}/man)

# Every plug-in library defined below plugins/, except those built for tests.
function(vtrpro_collect_plugins dir out)
  set(_found)
  get_property(_targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(_t ${_targets})
    get_target_property(_type ${_t} TYPE)
    if(_type STREQUAL "MODULE_LIBRARY" AND NOT _t MATCHES "^VtrTest")
      list(APPEND _found ${_t})
    endif()
  endforeach()
  get_property(_subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(_sub ${_subdirs})
    vtrpro_collect_plugins(${_sub} _more)
    list(APPEND _found ${_more})
  endforeach()
  set(${out} ${_found} PARENT_SCOPE)
endfunction()
vtrpro_collect_plugins(${PROJECT_SOURCE_DIR}/plugins VTRPRO_PLUGINS)

set(_programs vtrpro-rules)
if(TARGET VtrProRuleBuilderu)
  list(APPEND _programs VtrProRuleBuilderu)
endif()
install(TARGETS ${_programs} VtrProFrameWorku ${VTRPRO_PLUGINS}
  RUNTIME DESTINATION ${VTRPRO_INSTALL_PROGRAM_DIR}
  LIBRARY DESTINATION ${VTRPRO_INSTALL_PROGRAM_DIR})
foreach(_p ${_programs})
  file(CREATE_LINK ../${VTRPRO_INSTALL_PROGRAM_DIR}/${_p} ${_gen}/bin/${_p} SYMBOLIC)
  install(FILES ${_gen}/bin/${_p} DESTINATION bin)
endforeach()

install(DIRECTORY ${PROJECT_SOURCE_DIR}/res DESTINATION ${VTRPRO_INSTALL_DATA_DIR})
# The help pages generated from the rule catalogues at build time.
install(DIRECTORY ${VTRPRO_BIN_DIR}/res/english/vtrpro DESTINATION ${VTRPRO_INSTALL_DATA_DIR}/res/english
  FILES_MATCHING PATTERN "*.html")

# Desktop integration: the menu entry opens rule files, "*.vtr" (or any XML
# file whose root is "VTRExpress") is a rule file, and both have icons.
install(FILES ${_pkg}/vtrpro.desktop DESTINATION share/applications)
install(FILES ${_pkg}/vtrpro-mime.xml DESTINATION share/mime/packages RENAME vtrpro.xml)
install(FILES ${_pkg}/icons/vtrpro.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${_pkg}/icons/application-x-vtrrule.svg DESTINATION share/icons/hicolor/scalable/mimetypes)
install(DIRECTORY ${_pkg}/icons/hicolor DESTINATION share/icons FILES_MATCHING PATTERN "*.png")

# Manual pages and the changelog are shipped compressed, as Debian wants;
# they are compressed when installed, so no build step is needed first.
configure_file(${_pkg}/changelog.in ${_gen}/changelog @ONLY)
install(CODE "
  foreach(_f ${PROJECT_SOURCE_DIR}/docs/man/VtrProRuleBuilderu.1 ${PROJECT_SOURCE_DIR}/docs/man/vtrpro-rules.1
             ${_gen}/changelog)
    get_filename_component(_name \${_f} NAME)
    execute_process(COMMAND gzip -9nc \${_f} OUTPUT_FILE ${_gen}/man/\${_name}.gz COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")
install(FILES ${_gen}/man/VtrProRuleBuilderu.1.gz ${_gen}/man/vtrpro-rules.1.gz DESTINATION share/man/man1)
install(FILES ${_pkg}/copyright ${_gen}/man/changelog.gz DESTINATION share/doc/vtrpro)
install(FILES ${_pkg}/completion/vtrpro-rules DESTINATION share/bash-completion/completions)
# The JSON Schema of the tool's lint report, for scripts and CI jobs to check against.
install(FILES ${PROJECT_SOURCE_DIR}/docs/schemas/lint.v1.json DESTINATION share/vtrpro/schemas)

# The Debian package: scripts/package.sh builds it from a Release tree.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vtrpro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "VTRPro Rule Manager developers <vtrpro@example.invalid>")
set(CPACK_PACKAGE_VENDOR "VTRPro Rule Manager developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "rule manager of a design-for-manufacturability checker")
# The summary is the synopsis line; this is the extended description below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "The desktop program in which a manufacturing engineer decides which
manufacturability checks (rules) a rule file holds and how each rule is set
up, with the rule modules of every manufacturing process and the
command-line tool vtrpro-rules for scripts.")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS usr/${VTRPRO_INSTALL_PROGRAM_DIR})
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
if(CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel|RelWithDebInfo)$")
  set(CPACK_STRIP_FILES ON)
endif()
include(CPack)

# What Debian asks of each package besides its programs: the copyright and the changelog in
# /usr/share/doc/<package>/, man pages and changelogs compressed. Compressed at build time with
# gzip -9n (no name, no time stamp), so that the same tree always packs the same bytes.
find_program(RBX_GZIP gzip REQUIRED)
set(rbx_gzipped_dir ${CMAKE_BINARY_DIR}/gzipped)
add_custom_target(rbx_gzipped_docs ALL)

# rbx_install_gzipped(SUBDIR dir DESTINATION dir COMPONENT component FILES file...): each file
# compressed into the build tree's gzipped/<SUBDIR>/ and installed from there as <name>.gz.
function(rbx_install_gzipped)
  cmake_parse_arguments(G "" "SUBDIR;DESTINATION;COMPONENT" "FILES" ${ARGN})
  foreach(file IN LISTS G_FILES)
    get_filename_component(source ${file} ABSOLUTE BASE_DIR ${PROJECT_SOURCE_DIR})
    get_filename_component(name ${file} NAME)
    set(copy ${rbx_gzipped_dir}/${G_SUBDIR}/${name})
    add_custom_command(OUTPUT ${copy}.gz
      COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
      COMMAND ${RBX_GZIP} -9nf ${copy}
      DEPENDS ${source}
      COMMENT "Compressing ${file}"
      VERBATIM)
    string(MAKE_C_IDENTIFIER "${G_SUBDIR}/${name}" label)
    add_custom_target(rbx_gzipped_${label} DEPENDS ${copy}.gz)
    add_dependencies(rbx_gzipped_docs rbx_gzipped_${label})
    install(FILES ${copy}.gz DESTINATION ${G_DESTINATION} COMPONENT ${G_COMPONENT})
  endforeach()
endfunction()

# Every package: the project's copyright (machine-readable) and changelog, one entry per version.
# The version has no Debian revision, so the package is native and its changelog is changelog.gz
# (Debian policy 12.7; lintian wants no changelog.Debian.gz there).
function(rbx_install_package_docs component package)
  set(doc_dir ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package})
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright DESTINATION ${doc_dir} COMPONENT ${component})
  rbx_install_gzipped(SUBDIR doc/${package} DESTINATION ${doc_dir} COMPONENT ${component}
    FILES packaging/debian/changelog)
endfunction()

# The changelog's latest entry is this version's: a version raised without its entry stops here.
set(rbx_changelog ${PROJECT_SOURCE_DIR}/packaging/debian/changelog)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${rbx_changelog})
file(STRINGS ${rbx_changelog} rbx_changelog_top LIMIT_COUNT 1)
string(REPLACE "." "\\." rbx_version_pattern ${PROJECT_VERSION})
if(NOT rbx_changelog_top MATCHES "^${PROJECT_NAME} \\(${rbx_version_pattern}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the latest entry is not version ${PROJECT_VERSION}")
endif()

# `make package` / cpack: the Debian packages vidazoz (component "program") and
# libvidazoz-registry-dev (component "dev"), installed under /usr, binaries stripped.
include(GNUInstallDirs)

set(debian_source ${PROJECT_SOURCE_DIR}/resources/debian)
set(changelog_gz ${PROJECT_BINARY_DIR}/debian/changelog.gz)
add_custom_command(OUTPUT ${changelog_gz}
  COMMAND ${CMAKE_COMMAND} -E copy ${debian_source}/changelog ${PROJECT_BINARY_DIR}/debian/changelog
  COMMAND gzip -9nf ${PROJECT_BINARY_DIR}/debian/changelog
  DEPENDS ${debian_source}/changelog COMMENT "Compressing the Debian changelog" VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${changelog_gz})

# Each package carries the licence and the changelog in its own doc folder.
foreach(pair "program;vidazoz" "dev;libvidazoz-registry-dev")
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${debian_source}/copyright ${changelog_gz}
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vidazoz)
set(CPACK_PACKAGE_VENDOR "Dodivezozu Software")
set(CPACK_PACKAGE_CONTACT "Dodivezozu Software <support@dodivezozu.com>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL program dev)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE vidazoz)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.dodivezozu.com/")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME vidazoz)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
# Arial's metric twin draws the window's text; xdg-open opens the download page.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "fonts-liberation")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "xdg-utils, wine")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION
    "check whether .NET Framework 2.0 is registered in a Wine prefix
Vidazoz shows in a small window whether version 2.0 of the Microsoft .NET
Framework is registered in a Wine prefix (green), only 1.1 or 1.0 (orange),
or none (red), and offers the download page when 2.0 is missing. It reads the
prefix's registry files itself; vidazoz --check gives the verdict as text.")

set(CPACK_DEBIAN_DEV_PACKAGE_NAME libvidazoz-registry-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
# Static libraries of C++20 code, built with Debian's g++.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS "libstdc++-12-dev")
set(CPACK_DEBIAN_DEV_PACKAGE_SUGGESTS "pkg-config, cmake")
set(CPACK_COMPONENT_DEV_DESCRIPTION
    "registry access class over Wine prefixes (development files)
cRegistry reads and writes typed registry values, creates and deletes keys,
lists values and sub-keys and registers file-type associations. On Linux it
works on a Wine prefix's registry files directly, with Windows' semantics.

This package holds the headers, the static libraries, a CMake package
(find_package(Vidazoz)) and a pkg-config file (vidazoz-registry).")

include(CPack)

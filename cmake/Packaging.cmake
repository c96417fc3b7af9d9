# Debian packages, one per install component (scripts/package.sh builds them):
#   libgooglecloudsdkwrapper1    runtime  the two shared libraries
#   libgooglecloudsdkwrapper-dev dev      headers, link names, CMake package, pkg-config file
#   gcsdk-tools                  tools    gcsdk and gcemu, their manual pages, gcsdk's bash completion
# Dependencies on Debian's packages come from dpkg-shlibdeps; those between our packages are exact.
set(GCSDK_DEB_PACKAGES runtime libgooglecloudsdkwrapper1 dev libgooglecloudsdkwrapper-dev tools gcsdk-tools)

# Every package carries its copyright and its changelog, compressed as Debian wants it.
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/changelog.in ${CMAKE_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_BINARY_DIR}/debian/changelog ${CMAKE_BINARY_DIR}/debian/changelog.Debian
  COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/debian/changelog.Debian
  DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog VERBATIM)
add_custom_target(gcsdk_deb_changelog ALL DEPENDS ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz)
set(GCSDK_DEB_COMPONENTS)
while(GCSDK_DEB_PACKAGES)
  list(POP_FRONT GCSDK_DEB_PACKAGES component package)
  list(APPEND GCSDK_DEB_COMPONENTS ${component})
  string(TOUPPER ${component} upper)
  set(CPACK_DEBIAN_${upper}_PACKAGE_NAME ${package})
  install(FILES ${CMAKE_CURRENT_LIST_DIR}/debian/copyright ${CMAKE_BINARY_DIR}/debian/changelog.Debian.gz
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endwhile()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME googlecloudsdkwrapper)
set(CPACK_PACKAGE_VENDOR "GoogleCloudSDKWrapper developers")
set(CPACK_PACKAGE_CONTACT "GoogleCloudSDKWrapper developers <maintainers@googlecloudsdkwrapper.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_COMPONENTS_ALL ${GCSDK_DEB_COMPONENTS})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# gcsdk and gcemu link our own libraries: dpkg-shlibdeps finds them in the build tree, the exact
# dependency on their package comes from the component dependencies below.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/src ${CMAKE_BINARY_DIR}/host)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
# A shlibs file for the libraries' package (the only one with shared libraries), and its ldconfig trigger.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_CURRENT_LIST_DIR}/debian/triggers)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_STRICT_PERMISSION ON)

set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "Google Cloud REST APIs for backup agents (shared libraries)
GoogleCloudSDKWrapper reads and changes Google Cloud resources through one
object: it finds virtual machines by GUID, name, label or place, snapshots
their disks, makes disks and instances from the snapshots, manages Cloud KMS
keys and copies Cloud Spanner databases, over the public REST APIs.

This package holds libGoogleCloudSDKWrapper and the host-services library
it uses.")
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_COMPONENT_DEV_DESCRIPTION "Google Cloud REST APIs for backup agents (development files)
GoogleCloudSDKWrapper reads and changes Google Cloud resources through one
object.

This package holds the headers, the CMake package
(find_package(GoogleCloudSDKWrapper)) and the pkg-config file for building
against the library.")
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEV_DEPENDS runtime)
# The host JSON headers use boost::variant.
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS libboost-dev)
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "Google Cloud REST APIs for backup agents (gcsdk and gcemu)
gcsdk is a command-line tool over the GoogleCloudSDKWrapper library: it lists
projects, zones and VMs, snapshots and restores VMs, and manages disks, keys
and buckets. gcemu is a local HTTPS emulator of the Google APIs the library
speaks, for testing agents without a cloud.")
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_COMPONENT_TOOLS_DEPENDS runtime)

include(CPack)

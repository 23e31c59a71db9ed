# The Debian package of the tool: `cpack -G DEB` in a build folder (scripts/package.sh does the whole
# thing). It holds what `cmake --install` installs, the tool, its man page, the licence and the list of
# changes, and depends on the shared libraries the tool is linked with as dpkg-shlibdeps finds them, so the
# list follows the build machine's libpcap, zlib, libzstd, Boost and C++ run-time instead of being kept by
# hand.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME wiretally)
set(CPACK_PACKAGE_VENDOR "Wiretally maintainers")
set(CPACK_PACKAGE_CONTACT "Wiretally maintainers <maintainers@wiretally.invalid>")
# All four parts of the version: CPack would otherwise build it from the first three only.
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# CPack puts the summary first and indents these lines as the control file's long description wants.
set(CPACK_PACKAGE_DESCRIPTION
    "wiretally reads one capture file in the libpcap format and writes fifteen
figures into a summary file: traffic volume, load and span, TCP flows, and
the flows and segments with sequence gaps, out-of-order segments, repeated
segments, one-way flows, jumbo packets, IP fragments and truncated frames.
Comma-separated detail files list the packets and flows behind each figure.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

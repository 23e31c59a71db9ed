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
    "wiretally reads libpcap captures, pcap or pcapng, plain or compressed with
gzip, zstd, xz or bzip2, one or several merged in time order, and writes fifteen figures
into a summary file: traffic volume, load and span, TCP flows, and the flows
and segments with sequence gaps, out-of-order segments, repeated segments,
one-way flows, jumbo packets, IP fragments and truncated frames; with
--retransmissions five more: retransmitted segments and bytes, spurious
retransmissions, flows with a retransmission and the median handshake time.
Comma-separated detail files list the packets and flows behind each figure,
a flow table lists every TCP flow, and a JSON summary and a self-contained
HTML report with charts describe the whole run. TCP over IPv6 and inside
tunnels (VLAN, MPLS, GRE, VXLAN, Geneve, GTP-U and more) is analysed on
request.")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# wiretally-dask and wiretally-slurm run the steps of a split run on a Dask or a Slurm cluster.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3-distributed")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "slurm-client")
# A native package's changelog, in Debian's format, dated by the release date set beside the version.
string(REGEX MATCH "^([0-9]+)-0?([0-9]+)-0?([0-9]+)$" matched "${WIRETALLY_RELEASE_DATE}")
set(year ${CMAKE_MATCH_1})
set(month ${CMAKE_MATCH_2})
set(day ${CMAKE_MATCH_3})
# Zeller's congruence: 0 is Saturday.
set(zellerMonth ${month})
set(zellerYear ${year})
if(month LESS 3)
  math(EXPR zellerMonth "${month} + 12")
  math(EXPR zellerYear "${year} - 1")
endif()
math(EXPR weekday "(${day} + 13 * (${zellerMonth} + 1) / 5 + ${zellerYear} + ${zellerYear} / 4 - ${zellerYear} / 100
                   + ${zellerYear} / 400) % 7")
set(weekdayNames Sat Sun Mon Tue Wed Thu Fri)
list(GET weekdayNames ${weekday} weekdayName)
math(EXPR monthIndex "${month} - 1")
set(monthNames Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(GET monthNames ${monthIndex} monthName)
string(LENGTH "${day}" dayDigits)
if(dayDigits EQUAL 1)
  set(day "0${day}")
endif()
set(WIRETALLY_RELEASE_DATE_RFC2822 "${weekdayName}, ${day} ${monthName} ${year} 00:00:00 +0000")
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/changelog.gz
                   COMMAND ${GZIP} -9nf -k ${PROJECT_BINARY_DIR}/changelog
                   DEPENDS ${PROJECT_BINARY_DIR}/changelog VERBATIM)
add_custom_target(wiretally-changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/wiretally)

include(CPack)

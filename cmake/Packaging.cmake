# The Debian package: cpack -G DEB in a release build folder, as
# scripts/package.sh does. It writes vantrel_<version>_<arch>.deb and, with
# the debug symbols split out of it, vantrel-dbgsym_<version>_<arch>.ddeb.
set(CPACK_PACKAGE_NAME "vantrel")
set(CPACK_PACKAGE_VENDOR "The Vantrel developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "join several video files into one")
# The lines after the summary, each under 80 characters; an empty line
# separates paragraphs.
set(CPACK_PACKAGE_DESCRIPTION
    "Vantrel lists video files with their duration, type, frame size, frame rate
and audio format, and joins them into one. AVI files with identical video,
MPEG-1 system streams, MPEG video streams, and MP4, MOV, Matroska, WebM,
MPEG-TS, MPEG-PS and FLV files with identical streams are joined without
recompression; anything else is decoded, fitted into one frame size and rate
and re-encoded into one AVI file.

It has a desktop application, vantrel, and a command line, vantrel-cli.")
set(CPACK_PACKAGE_CONTACT "Vantrel developers <maintainers@vantrel.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vantrel.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_DEBIAN_PACKAGE_SECTION "video")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt draws the SVG icon through a plugin that no executable links.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# Folders the package creates are rwxr-xr-x whatever the umask of whoever
# runs cpack.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
# The executables are stripped in the package and their debug information
# goes to the -dbgsym package, by build id, as Debian's own packages do. This
# takes the place of CPACK_STRIP_FILES, which would strip them before the
# debug information can be split out; the build must carry it
# (RelWithDebInfo).
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_STRIP_FILES OFF)
include(CPack)

# The Debian package (`cpack -G DEB` in a build tree, or `bash tools/setup.sh package`): the
# programs, their library and data; PXMisc's headers, pkg-config file and CMake package stay out
# (the Development component), so the package is a program, not a library's development kit.
set(CPACK_PACKAGE_NAME orvanta)
set(CPACK_PACKAGE_VENDOR Orvanta)
set(CPACK_PACKAGE_CONTACT "Orvanta <contact@orvanta.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn a piece of a music file into a phone ringtone")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvanta loads an MP3, MP2, MP1, WAV, AIFF or raw PCM file, lets you mark the
part to keep on its waveform and preview it with fades, and saves it as an MP3,
iPhone M4R or Android Ogg ringtone beside the song. orvanta-cli does the same
work without a window.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_COMPONENTS_ALL Runtime)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://www.orvanta.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps finds the libraries the programs link; these are the GStreamer elements they
# load at run time: appsrc, audioconvert, playbin, vorbisenc and oggmux (base), autoaudiosink,
# wavparse and mp4mux (good), avenc_aac for M4R (libav).
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav")
# Qt's own texts (standard buttons, the file dialog) in the user's language; English without it.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
# libpxmisc lies in the system's library folder: the package names itself as its provider (the
# shlibs file) and tells ldconfig through a trigger, which Debian wants beside the maintainer
# scripts that CPack writes.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/triggers)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

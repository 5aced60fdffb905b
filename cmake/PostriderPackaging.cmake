# What the Debian package installs beside the two programs (manual pages, shell
# completion, copyright and changelog), and the package itself: scripts/package
# runs `cpack -G DEB` on a build made with POSTRIDER_PACKAGE=ON.

option(POSTRIDER_PACKAGE "Fail when a tool that makes the package's files is missing" OFF)
set(POSTRIDER_HOMEPAGE "" CACHE STRING "The project's web page, for the package and the metainfo")

# Manual pages from scdoc's markup; icons drawn from the SVG. Without the
# tools a build for development goes on without these files.
find_program(POSTRIDER_SCDOC scdoc)
find_program(POSTRIDER_RSVG_CONVERT rsvg-convert)
find_program(POSTRIDER_GZIP gzip)
if(POSTRIDER_PACKAGE)
  foreach(_tool POSTRIDER_SCDOC POSTRIDER_RSVG_CONVERT POSTRIDER_GZIP)
    if(NOT ${_tool})
      message(FATAL_ERROR "${_tool}: the package needs scdoc, rsvg-convert (librsvg2-bin) and gzip")
    endif()
  endforeach()
endif()

set(_doc_dir ${CMAKE_INSTALL_DATADIR}/doc/postrider)
if(POSTRIDER_SCDOC AND POSTRIDER_GZIP)
  set(_pages)
  foreach(_page postrider postrider-cli)
    set(_source "${PROJECT_SOURCE_DIR}/docs/man/${_page}.1.scd")
    set(_page_file "${PROJECT_BINARY_DIR}/man/${_page}.1.gz")
    # Debian's policy: compressed with gzip -9n, no time stamp inside.
    add_custom_command(OUTPUT "${_page_file}"
      COMMAND ${CMAKE_COMMAND} -E make_directory "${PROJECT_BINARY_DIR}/man"
      COMMAND sh -c "\"$0\" < \"$1\" | \"$2\" -9n > \"$3\""
              ${POSTRIDER_SCDOC} "${_source}" ${POSTRIDER_GZIP} "${_page_file}"
      DEPENDS "${_source}" VERBATIM)
    list(APPEND _pages "${_page_file}")
    if(_page STREQUAL "postrider" AND NOT POSTRIDER_BUILD_DESKTOP)
      continue()
    endif()
    install(FILES "${_page_file}" DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()
  add_custom_target(postrider_man_pages ALL DEPENDS ${_pages})
endif()

install(FILES res/completion/postrider-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME postrider-cli)
install(FILES res/completion/_postrider-cli
  DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)

install(FILES res/debian/copyright DESTINATION ${_doc_dir})
if(POSTRIDER_GZIP)
  set(_changelog "${PROJECT_BINARY_DIR}/changelog.gz")
  add_custom_command(OUTPUT "${_changelog}"
    COMMAND sh -c "\"$0\" -9n < \"$1\" > \"$2\""
            ${POSTRIDER_GZIP} "${PROJECT_SOURCE_DIR}/res/debian/changelog" "${_changelog}"
    DEPENDS res/debian/changelog VERBATIM)
  add_custom_target(postrider_changelog ALL DEPENDS "${_changelog}")
  install(FILES "${_changelog}" DESTINATION ${_doc_dir})
endif()

# ---- the package ------------------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME postrider)
set(CPACK_PACKAGE_VENDOR "The Postrider developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "mail merge: a personalised e-mail to everyone on a list")
set(CPACK_PACKAGE_DESCRIPTION "\
Postrider sends each recipient of a mailing list a personalised e-mail,
straight to an SMTP server. You write a letter with merge fields, point it
at a tab- or comma-delimited list, pick the recipients by hand, all at once
or by a query on list fields, and send. Every entry is marked sent, bad
address or halted, so a paused or failed run resumes where it stopped.
Each merge job is kept as a project beside its letter.

This package holds the desktop program postrider (Qt) and postrider-cli,
which runs the same projects without a display.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER
  "Postrider maintainers <maintainers@users.noreply.c-seed-16d80299.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION mail)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(POSTRIDER_HOMEPAGE)
  set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${POSTRIDER_HOMEPAGE}")
endif()
# The libraries' packages come from the binaries themselves (dpkg-shlibdeps),
# but for those loaded only when a feature needs them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(POSTRIDER_CURL_PACKAGE AND POSTRIDER_SECRET_PACKAGE AND POSTRIDER_MAGIC_PACKAGE
   AND POSTRIDER_CMARK_PACKAGE AND POSTRIDER_IDN2_PACKAGE)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "${POSTRIDER_CURL_PACKAGE} (>= ${POSTRIDER_CURL_MINIMUM}), ${POSTRIDER_SECRET_PACKAGE}, \
${POSTRIDER_MAGIC_PACKAGE}, ${POSTRIDER_CMARK_PACKAGE}, ${POSTRIDER_IDN2_PACKAGE}")
elseif(POSTRIDER_PACKAGE)
  message(FATAL_ERROR "dpkg-query does not name the packages of ${POSTRIDER_CURL_SONAME}, "
    "${POSTRIDER_SECRET_SONAME}, ${POSTRIDER_MAGIC_SONAME}, ${POSTRIDER_CMARK_SONAME} and "
    "${POSTRIDER_IDN2_SONAME}")
endif()
# Qt's Wayland platform and the GTK desktops' own dialogs, as scripts/install-deps has them.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-gtk-platformtheme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

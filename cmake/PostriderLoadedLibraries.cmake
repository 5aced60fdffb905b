# Libraries the programs load by their sonames when a feature first needs them,
# rather than linking them: libcurl for the OAuth 2.0 sign-in's HTTPS requests,
# libsecret for the refresh token in the Secret Service, libmagic for the types
# of attached files and pictures, cmark-gfm for Markdown letters, libidn2 for
# domains beyond ASCII. With the libraries they pull in, the loader's work for
# them would cost every run of postrider-cli its start-up. Only their headers
# are built against; the sonames come from the libraries found here, and the
# Debian package names their packages in its Depends, since dpkg-shlibdeps
# cannot see them.

find_package(PkgConfig REQUIRED)
# CURLOPT_PROTOCOLS_STR came with 7.85.
set(POSTRIDER_CURL_MINIMUM 7.85)
pkg_check_modules(LIBCURL REQUIRED libcurl>=${POSTRIDER_CURL_MINIMUM})
pkg_check_modules(LIBSECRET REQUIRED libsecret-1)
pkg_check_modules(LIBMAGIC REQUIRED libmagic)
pkg_check_modules(LIBIDN2 REQUIRED libidn2)
# cmark-gfm's .pc names an extensions library that is not used.
find_path(CMARK_GFM_INCLUDE_DIRS cmark-gfm.h REQUIRED)
find_library(CMARK_GFM_LIBRARY cmark-gfm REQUIRED)
set(CMARK_GFM_LINK_LIBRARIES "${CMARK_GFM_LIBRARY}")

# The soname of the library pkg_check_modules found under `prefix`, and the
# Debian package that holds it (empty without dpkg-query).
function(postrider_loaded_library soname_variable package_variable prefix)
  set(_objdump "${CMAKE_OBJDUMP}")
  if(NOT _objdump)
    find_program(_objdump objdump REQUIRED)
  endif()
  find_program(POSTRIDER_DPKG_QUERY dpkg-query)
  foreach(_library ${${prefix}_LINK_LIBRARIES})
    execute_process(COMMAND "${_objdump}" -p "${_library}" OUTPUT_VARIABLE _headers ERROR_QUIET)
    if(NOT _headers MATCHES "SONAME +([^\n ]+)")
      continue()
    endif()
    set(_soname "${CMAKE_MATCH_1}")
    set(${soname_variable} "${_soname}" PARENT_SCOPE)
    set(_package "")
    if(POSTRIDER_DPKG_QUERY)
      get_filename_component(_folder "${_library}" DIRECTORY)
      execute_process(COMMAND "${POSTRIDER_DPKG_QUERY}" -S "${_folder}/${_soname}"
        OUTPUT_VARIABLE _owner ERROR_QUIET)
      if(_owner MATCHES "^([^:, ]+)")
        set(_package "${CMAKE_MATCH_1}")
      endif()
    endif()
    set(${package_variable} "${_package}" PARENT_SCOPE)
    message(STATUS "${prefix}: loaded at run time as ${_soname} (package ${_package})")
    return()
  endforeach()
  message(FATAL_ERROR "No soname found in ${${prefix}_LINK_LIBRARIES}")
endfunction()

postrider_loaded_library(POSTRIDER_CURL_SONAME POSTRIDER_CURL_PACKAGE LIBCURL)
postrider_loaded_library(POSTRIDER_SECRET_SONAME POSTRIDER_SECRET_PACKAGE LIBSECRET)
postrider_loaded_library(POSTRIDER_MAGIC_SONAME POSTRIDER_MAGIC_PACKAGE LIBMAGIC)
postrider_loaded_library(POSTRIDER_CMARK_SONAME POSTRIDER_CMARK_PACKAGE CMARK_GFM)
postrider_loaded_library(POSTRIDER_IDN2_SONAME POSTRIDER_IDN2_PACKAGE LIBIDN2)

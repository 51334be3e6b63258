# What is installed, and the packages that cpack makes of it: on Linux a Debian
# package (the programs, gzip-compressed manual pages, the copyright file and
# the changelog); on Windows keston-<version>-win64.zip or -win32.zip (one
# folder with the programs, the manual pages as HTML, the README and the
# licence).

set(KESTON_MAINTAINER "the keston developers <maintainers@users.noreply.c-seed-ec6a1f3c.example>"
    CACHE STRING "Name and mail address of the packages' maintainer")

set(CPACK_PACKAGE_NAME keston)
set(CPACK_PACKAGE_VENDOR "the keston developers")
set(CPACK_PACKAGE_CONTACT "${KESTON_MAINTAINER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "console filter for assembler source text")
set(CPACK_PACKAGE_DESCRIPTION [=[
keston reads an assembler source file, sends every line through a fixed
chain of optional transformations and writes the result with CR LF line
ends: removal of asm-style (;) and cpp-style (//) comments, expansion of
tabs into spaces, renaming of local labels into names numbered uniquely in
the file, compression of spaces into tabs, and removal of empty lines.

keston-check runs sources through the same chain, writes no file and
reports every place where the result would mean something else to the
assembler.

keston-map rewrites the assembler's messages about keston's output into
messages about the source: its name, its line and its label names, as a
filter or around the assembler's command.]=])
set(CPACK_STRIP_FILES ON)

set(manual_pages ${CMAKE_SOURCE_DIR}/man/keston.1 ${CMAKE_SOURCE_DIR}/man/keston-check.1
                 ${CMAKE_SOURCE_DIR}/man/keston-map.1)

# Runs a command at configure time with its standard output going to output,
# and again whenever the input changes.
function(keston_generate input output)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${input})
  execute_process(COMMAND ${ARGN} ${input} OUTPUT_FILE ${output} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

# find_package(keston): the programs as imported targets and
# keston_preprocess(), in a folder that find_package searches under the
# prefix (on Windows, cmake/ beside the programs).
include(CMakePackageConfigHelpers)
if(WIN32)
  set(KESTON_PROGRAM_DIR .)
  set(KESTON_PACKAGE_DIR cmake)
else()
  set(KESTON_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
  set(KESTON_PACKAGE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/keston)
endif()
install(TARGETS keston keston-check keston-map EXPORT kestonTargets RUNTIME DESTINATION ${KESTON_PROGRAM_DIR})
install(EXPORT kestonTargets NAMESPACE keston:: DESTINATION ${KESTON_PACKAGE_DIR})
configure_file(${CMAKE_SOURCE_DIR}/cmake/kestonConfig.cmake.in ${CMAKE_BINARY_DIR}/kestonConfig.cmake @ONLY)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/kestonConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/kestonConfig.cmake ${CMAKE_BINARY_DIR}/kestonConfigVersion.cmake
        DESTINATION ${KESTON_PACKAGE_DIR})

if(WIN32)
  find_program(KESTON_MANDOC mandoc REQUIRED)
  install(FILES README.md DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  foreach(page IN LISTS manual_pages)
    get_filename_component(name ${page} NAME_WE)
    keston_generate(${page} ${CMAKE_BINARY_DIR}/${name}.html ${KESTON_MANDOC} -T html)
    install(FILES ${CMAKE_BINARY_DIR}/${name}.html DESTINATION .)
  endforeach()
  set(CPACK_GENERATOR ZIP)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  find_program(KESTON_GZIP gzip REQUIRED)
  set(gzip_command ${KESTON_GZIP} -9 --no-name --stdout)
  foreach(page IN LISTS manual_pages)
    get_filename_component(name ${page} NAME)
    keston_generate(${page} ${CMAKE_BINARY_DIR}/${name}.gz ${gzip_command})
    install(FILES ${CMAKE_BINARY_DIR}/${name}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endforeach()

  # The copyright file in Debian's machine-readable form, with the licence's
  # permission notice as its text.
  file(READ ${CMAKE_SOURCE_DIR}/LICENSE license)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/LICENSE)
  string(FIND "${license}" "Permission is hereby granted" notice_start)
  string(SUBSTRING "${license}" ${notice_start} -1 license)
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " KESTON_LICENSE_BODY " ${license}")
  configure_file(packaging/copyright.in ${CMAKE_BINARY_DIR}/copyright @ONLY)
  # The package's version is project()'s; the changelog must begin with it.
  file(STRINGS packaging/changelog.in changelog_top LIMIT_COUNT 1 REGEX "^keston \\(")
  if(NOT changelog_top MATCHES "^keston \\(${PROJECT_VERSION}\\) ")
    message(FATAL_ERROR "packaging/changelog.in does not begin with an entry for ${PROJECT_VERSION}")
  endif()
  configure_file(packaging/changelog.in ${CMAKE_BINARY_DIR}/changelog @ONLY)
  keston_generate(${CMAKE_BINARY_DIR}/changelog ${CMAKE_BINARY_DIR}/changelog.gz ${gzip_command})
  install(FILES ${CMAKE_BINARY_DIR}/copyright ${CMAKE_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_PACKAGE_SECTION devel)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
endif()

include(CPack)

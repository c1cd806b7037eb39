# What `cmake --install` puts where (GNU directories), and the packages CPack
# makes of it: `cpack -G DEB` on Debian. Included last by the top-level
# CMakeLists.txt, once every program's target exists.
include(GNUInstallDirs)

# The programs, installed side by side in bin/, where quarnel-batch finds the
# programs it hands a subcommand to. A program this build lacks (the window
# without Qt) is skipped; another program is one more name here.
set(QUARNEL_PROGRAMS
  quarnel
  quarnel-batch
  quarnel-batch-fit
  quarnel-batch-plot
)
foreach(program IN LISTS QUARNEL_PROGRAMS)
  if(TARGET ${program})
    # They link no library of ours: no search path of their own (Qt's
    # project setup gives one), which a static program could not take.
    set_target_properties(${program} PROPERTIES INSTALL_RPATH "")
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

if(WIN32)
  # A folder of its own (the zip's): programs and documents at its top.
  set(QUARNEL_INSTALL_DOCDIR .)
  install(FILES LICENSE DESTINATION ${QUARNEL_INSTALL_DOCDIR})
else()
  set(QUARNEL_INSTALL_DOCDIR ${CMAKE_INSTALL_DATAROOTDIR}/doc/quarnel)
endif()
install(FILES README.md CITATION.cff DESTINATION ${QUARNEL_INSTALL_DOCDIR})
install(DIRECTORY docs/ DESTINATION ${QUARNEL_INSTALL_DOCDIR}/docs PATTERN man EXCLUDE)
install(DIRECTORY examples/ DESTINATION ${QUARNEL_INSTALL_DOCDIR}/examples)

if(UNIX AND NOT APPLE)
  # The licence in Debian's copyright format and a changelog, where Debian
  # looks for them, compressed as its policy asks (-n: no time stamp, so
  # that the package is the same from the same sources).
  find_program(QUARNEL_GZIP gzip REQUIRED)
  set(compressed ${PROJECT_BINARY_DIR}/compressed)
  set(compressed_files)
  macro(quarnel_gzip source target)
    add_custom_command(OUTPUT ${compressed}/${target}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${compressed}
      COMMAND ${QUARNEL_GZIP} -9n -c ${PROJECT_SOURCE_DIR}/${source} > ${compressed}/${target}
      DEPENDS ${PROJECT_SOURCE_DIR}/${source} VERBATIM)
    list(APPEND compressed_files ${compressed}/${target})
  endmacro()
  quarnel_gzip(packaging/changelog changelog.gz)
  install(FILES packaging/copyright ${compressed}/changelog.gz
          DESTINATION ${QUARNEL_INSTALL_DOCDIR})

  # Manual pages, made by scripts/make-man and committed: a page for each
  # program this build has, and the subcommands' pages with quarnel-batch.
  file(GLOB manual_pages RELATIVE ${PROJECT_SOURCE_DIR}/docs/man
       ${PROJECT_SOURCE_DIR}/docs/man/*.1)
  foreach(page IN LISTS manual_pages)
    string(REGEX REPLACE "\\.1$" "" name ${page})
    string(REGEX REPLACE "^quarnel-batch-(sweep|mix)$" "quarnel-batch" program ${name})
    if(TARGET ${program})
      quarnel_gzip(docs/man/${page} ${page}.gz)
      install(FILES ${compressed}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    endif()
  endforeach()
  add_custom_target(quarnel_compressed_files ALL DEPENDS ${compressed_files})

  # The menu entry and its icon, for the window only.
  if(TARGET quarnel)
    install(FILES packaging/quarnel.desktop DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/applications)
    set(icons ${CMAKE_INSTALL_DATAROOTDIR}/icons/hicolor)
    install(FILES packaging/icons/quarnel.svg DESTINATION ${icons}/scalable/apps)
    foreach(size 16 22 24 32 48 64 128 256)
      install(FILES packaging/icons/quarnel-${size}.png DESTINATION ${icons}/${size}x${size}/apps
              RENAME quarnel.png)
    endforeach()
  endif()
  install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/lintian/overrides
          RENAME quarnel)
endif()

# The Debian package: its dependencies are the shared libraries' packages
# (dpkg-shlibdeps), with what the Python package imports; what only some of
# its functions import is recommended.
set(CPACK_PACKAGE_NAME quarnel)
set(CPACK_PACKAGE_VENDOR "The Quarnel developers")
set(CPACK_PACKAGE_CONTACT "The Quarnel developers <quarnel@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "fiber bridging laws of fiber-reinforced composites")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "python3, python3-numpy, python3-pandas")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "python3-distributed, python3-xarray, python3-matplotlib, python3-tqdm")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The long description; CPack puts the summary before it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Quarnel computes the fiber bridging law of a short-fiber-reinforced
composite, such as a fiber-reinforced cementitious composite: the stress
that the fibers carry across a matrix crack as the crack opens, from the
fibers' pull-out law, orientation and snubbing, with the law's criteria.
.
It has a window (quarnel), a command (quarnel-batch) with parameter sweeps,
hybrid fiber mixes and fits to measured curves, and a Python module
(import quarnel) giving laws as numpy arrays and studies as pandas tables.")
include(CPack)

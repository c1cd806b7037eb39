# The Windows programs as one zip (cpack -G ZIP in the build folder):
# quarnel-batch.exe and quarnel-batch-fit.exe side by side, as the one finds
# the other, statically linked so that nothing else need be installed.
install(TARGETS quarnel-batch quarnel-batch-fit RUNTIME DESTINATION .)
foreach(document README.md LICENSE CITATION.cff)
  if(EXISTS ${PROJECT_SOURCE_DIR}/${document})
    install(FILES ${PROJECT_SOURCE_DIR}/${document} DESTINATION .)
  endif()
endforeach()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME quarnel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME quarnel-${PROJECT_VERSION}-windows-x86_64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Quarnel's command-line programs for Windows")
include(CPack)

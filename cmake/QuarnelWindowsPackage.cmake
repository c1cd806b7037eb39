# The Windows programs as one zip (cpack -G ZIP in the build folder) of what
# cmake/QuarnelPackaging.cmake installs: quarnel-batch.exe and
# quarnel-batch-fit.exe side by side at its top (as the one finds the other),
# statically linked so that nothing else need be installed, with the README,
# the licence, the citation, docs/ and examples/.
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_FILE_NAME quarnel-${PROJECT_VERSION}-windows-x86_64)

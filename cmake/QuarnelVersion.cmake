# The one version number: project() gives it, CITATION.cff must agree, and a
# generated header hands it to every program and the Python module.
set(QUARNEL_RELEASE_DATE 2026-12-08)
string(SUBSTRING "${QUARNEL_RELEASE_DATE}" 0 4 QUARNEL_RELEASE_YEAR)

# A citation of another version than the one built would mislead its readers.
file(STRINGS "${PROJECT_SOURCE_DIR}/CITATION.cff" citation_lines REGEX "^(version|date-released):")
foreach(expected "version: ${PROJECT_VERSION}" "date-released: ${QUARNEL_RELEASE_DATE}")
  list(FIND citation_lines "${expected}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "CITATION.cff does not say \"${expected}\" (it says: ${citation_lines})")
  endif()
endforeach()

configure_file(${CMAKE_CURRENT_LIST_DIR}/quarnel_version.h.in
               ${PROJECT_BINARY_DIR}/generated/quarnel_version.h @ONLY)
add_library(quarnel_version INTERFACE)
target_include_directories(quarnel_version INTERFACE ${PROJECT_BINARY_DIR}/generated)

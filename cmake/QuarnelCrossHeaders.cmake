# Header-only libraries from the build machine's Debian packages, for a cross
# build: their folders alone are linked into one include folder, so that the
# cross compiler never sees the host's C library headers in /usr/include.
set(QUARNEL_HOST_INCLUDE /usr/include CACHE PATH "Where the host's header-only libraries are")
set(_quarnel_headers ${CMAKE_BINARY_DIR}/host-headers)
file(MAKE_DIRECTORY ${_quarnel_headers})

function(quarnel_host_headers target folder)
  if(TARGET ${target} OR NOT IS_DIRECTORY ${QUARNEL_HOST_INCLUDE}/${folder})
    return()
  endif()
  if(NOT EXISTS ${_quarnel_headers}/${folder})
    file(CREATE_LINK ${QUARNEL_HOST_INCLUDE}/${folder} ${_quarnel_headers}/${folder} SYMBOLIC)
  endif()
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  target_include_directories(${target} SYSTEM INTERFACE ${_quarnel_headers})
endfunction()

quarnel_host_headers(CLI11::CLI11 CLI)
quarnel_host_headers(Boost::headers boost)

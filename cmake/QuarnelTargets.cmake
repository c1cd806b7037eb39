# Warnings on every target of ours; the model's results are defined by its
# rounding, so floating-point contraction stays off everywhere and fast-math
# is never used.
function(quarnel_target_defaults target)
  if(MSVC)
    # /fp:precise keeps every rounding and, since Visual Studio 2022, contracts nothing.
    target_compile_options(${target} PRIVATE /W4 /fp:precise /utf-8)
    if(QUARNEL_WERROR)
      target_compile_options(${target} PRIVATE /WX)
    endif()
    return()
  endif()
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -ffp-contract=off)
  # windows.h without its min and max macros and its rarely used parts.
  if(WIN32)
    target_compile_definitions(${target} PRIVATE NOMINMAX WIN32_LEAN_AND_MEAN)
  endif()
  # GCC 12 reports -Wrestrict falsely inside std::string concatenation.
  # In position-independent code GCC would otherwise not inline a global
  # function into its callers in the same file, in case another library
  # replaced it; nothing of ours is replaced so, and the engine's inner passes
  # keep the inlining of a build without position-independent code.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-restrict -fno-semantic-interposition)
  endif()
  if(QUARNEL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Registers one test executable with CTest. Widget tests pass QT to run on the
# offscreen platform with a pinned locale. LABEL gives the tests a CTest label
# ("slow": left out of the sanitizer run, CMakePresets.json).
function(quarnel_add_test name)
  cmake_parse_arguments(ARG "QT" "LABEL" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  quarnel_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
  if(ARG_QT)
    target_link_libraries(${name} PRIVATE Qt6::Test)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;LANG=C.UTF-8")
  else()
    quarnel_qt_free(${name})
    target_link_libraries(${name} PRIVATE GTest::gtest GTest::gtest_main)
    # A cross-built test runs under an emulator (wine), which starts slowly:
    # one CTest test per program rather than per case.
    if(CMAKE_CROSSCOMPILING)
      add_test(NAME ${name} COMMAND ${name})
      if(ARG_LABEL)
        set_tests_properties(${name} PROPERTIES LABELS ${ARG_LABEL})
      endif()
      return()
    endif()
    include(GoogleTest)
    if(ARG_LABEL)
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${ARG_LABEL})
    else()
      gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60)
    endif()
  endif()
endfunction()

# The engine and the run know nothing of Qt: no moc, uic or rcc for them.
function(quarnel_qt_free target)
  set_target_properties(${target} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()

# The version lives in project() alone. This hands it to the sources as a generated
# header (identity record, load message, /?? line) and to the resource script and the
# package names, and makes the binaries depend on their sources only: no link time
# stamps, no build folder names inside them.
#
# A build that is not the release says so wherever a report quotes its version (the /??
# line, the DLL's version strings, the package names): "-dev+COMMIT" where git knows the
# commit of the sources, "-dev" where it does not (a tarball of them). A build configured
# with -DVESK_RELEASE=ON shows the project's number alone. The numbers the shell reads
# (the identity record, the load message, the resource's numeric fields) are the
# project's in every build.

option(VESK_RELEASE "The release: version texts show the project's number alone" OFF)

set(VESK_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(VESK_VERSION_FULL "${PROJECT_VERSION}")

set(VESK_VERSION_LABEL "")
if(NOT VESK_RELEASE)
  set(VESK_VERSION_LABEL "-dev")
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --show-toplevel
                    WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}" RESULT_VARIABLE git_failed
                    OUTPUT_VARIABLE git_top OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(git_commit "")
    if(NOT git_failed AND git_top)
      # Only the sources' own repository: a tarball unpacked inside another work tree
      # must not take that tree's commit.
      file(REAL_PATH "${git_top}" git_top)
      file(REAL_PATH "${CMAKE_SOURCE_DIR}" source_top)
      if(git_top STREQUAL source_top)
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --short=10 HEAD
                        WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}" RESULT_VARIABLE git_failed
                        OUTPUT_VARIABLE git_commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      endif()
    endif()
    if(NOT git_failed AND git_commit MATCHES "^[0-9a-f]+$")
      string(APPEND VESK_VERSION_LABEL "+${git_commit}")
      # A commit, checkout or reset moves HEAD, its log or its branch: the next build
      # configures again and takes the new commit.
      execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --symbolic-full-name HEAD
                      WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}" OUTPUT_VARIABLE git_branch
                      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
      foreach(name HEAD logs/HEAD ${git_branch})
        execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --path-format=absolute
                                --git-path ${name}
                        WORKING_DIRECTORY "${CMAKE_SOURCE_DIR}" OUTPUT_VARIABLE git_path
                        OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
        if(git_path AND EXISTS "${git_path}")
          set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_path}")
        endif()
      endforeach()
    endif()
  endif()
endif()
# The /?? line and the version strings, and the package names.
set(VESK_VERSION_SHOWN "${VESK_VERSION_FULL}${VESK_VERSION_LABEL}")
set(VESK_PACKAGE_VERSION "${VESK_VERSION_TEXT}${VESK_VERSION_LABEL}")
message(STATUS "Vesk version ${VESK_VERSION_SHOWN}")

configure_file(${CMAKE_SOURCE_DIR}/src/plugin/vesk_version.h.in
               ${CMAKE_BINARY_DIR}/generated/vesk_version.h @ONLY)
# For the tests that check what a build calls itself.
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/generated/vesk_version.txt
     CONTENT "@VESK_VERSION_SHOWN@\n" @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)

# GCC tries the last map first, so the build folder (inside the source tree) goes last.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

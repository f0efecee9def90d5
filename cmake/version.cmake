# The version lives in project() alone. This hands it to the sources as a generated
# header (identity record, load message, /?? line) and to the resource script and the
# package names, and makes the binaries depend on their sources only: no link time
# stamps, no build folder names inside them.

set(VESK_VERSION_TEXT "${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}")
set(VESK_VERSION_FULL "${PROJECT_VERSION}")
configure_file(${CMAKE_SOURCE_DIR}/src/plugin/vesk_version.h.in
               ${CMAKE_BINARY_DIR}/generated/vesk_version.h @ONLY)
include_directories(${CMAKE_BINARY_DIR}/generated)

# GCC tries the last map first, so the build folder (inside the source tree) goes last.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
                    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

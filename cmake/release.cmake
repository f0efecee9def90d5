# Release: the version resource of the Windows DLL, the "dist" target that packs what a
# user downloads, and the small program the install check reads the resource back with.
#
#   cmake --build build/win32 --target dist   ->  build/win32/vesk-VERSION-windows-x86.zip
#   cmake --build build/win64 --target dist   ->  build/win64/vesk-VERSION-windows-x64.zip
#   cmake --build build/native --target dist  ->  build/native/vesk-VERSION-linux-x86_64.tar.gz

find_program(VESK_PYTHON NAMES python3 REQUIRED)
# The user's README names the version and the package names, so it is configured too.
# Its lines that hold only a mark of the documents' test (an HTML comment) are not for
# the user.
set(VESK_USER_README ${CMAKE_BINARY_DIR}/generated/README.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${CMAKE_SOURCE_DIR}/packaging/README.txt.in)
file(READ ${CMAKE_SOURCE_DIR}/packaging/README.txt.in readme)
string(REGEX REPLACE "\n[ ]*<!--[^\n]*-->[ ]*" "" readme "${readme}")
file(CONFIGURE OUTPUT ${VESK_USER_README} CONTENT "${readme}" @ONLY)
set(VESK_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)

if(VESK_WINDOWS)
  if(VESK_X86)
    set(VESK_ARCH_WORD x86)
  else()
    set(VESK_ARCH_WORD x64)
  endif()
  # windres is run by hand: the C and C++ options of the project mean nothing to it.
  set(rc_file ${CMAKE_BINARY_DIR}/generated/vesk.rc)
  set(res_object ${CMAKE_BINARY_DIR}/generated/vesk_res.o)
  configure_file(${CMAKE_SOURCE_DIR}/src/plugin/vesk.rc.in ${rc_file} @ONLY)
  add_custom_command(OUTPUT ${res_object}
    COMMAND ${CMAKE_RC_COMPILER} --preprocessor=${CMAKE_C_COMPILER}
            --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED
            -O coff -i ${rc_file} -o ${res_object}
    DEPENDS ${rc_file} VERBATIM)
  set_source_files_properties(${res_object} PROPERTIES EXTERNAL_OBJECT TRUE GENERATED TRUE)
  target_sources(vesk PRIVATE ${res_object})

  add_executable(verinfo tests/install/verinfo.c)
  target_link_options(verinfo PRIVATE -municode)
  target_link_libraries(verinfo PRIVATE version)

  set(package_name vesk-${VESK_PACKAGE_VERSION}-windows-${VESK_ARCH_WORD})
  set(package_file ${CMAKE_BINARY_DIR}/${package_name}.zip)
  set(package_members --replaces vesk-*-windows-${VESK_ARCH_WORD}.zip --crlf
      vesk.dll=$<TARGET_FILE:vesk> README.txt=${VESK_USER_README} LICENSE.txt=${VESK_LICENSE})
else()
  # Only "$ORIGIN": CMake would add the build folder to the run path of the binaries,
  # which ties their bytes to where they were built.
  set_target_properties(vshell vesk PROPERTIES BUILD_WITH_INSTALL_RPATH ON
                        INSTALL_RPATH "$ORIGIN")
  set(package_name vesk-${VESK_PACKAGE_VERSION}-linux-${CMAKE_SYSTEM_PROCESSOR})
  set(package_file ${CMAKE_BINARY_DIR}/${package_name}.tar.gz)
  set(package_members --replaces vesk-*-linux-${CMAKE_SYSTEM_PROCESSOR}.tar.gz
      vshell=$<TARGET_FILE:vshell> TakeCmd.so=$<TARGET_FILE:TakeCmd>
      vesk.so=$<TARGET_FILE:vesk> README.txt=${VESK_USER_README} LICENSE.txt=${VESK_LICENSE})
endif()

# Packed on every call (it takes a moment): the entries' time is the commit's, which
# changes without any file the build knows of changing.
add_custom_target(dist
  COMMAND ${VESK_PYTHON} ${CMAKE_SOURCE_DIR}/tools/make_package.py --source ${CMAKE_SOURCE_DIR}
          --root ${package_name} --output ${package_file} ${package_members}
  BYPRODUCTS ${package_file}
  COMMENT "Packing ${package_name}"
  VERBATIM)
add_dependencies(dist vesk vshell TakeCmd)

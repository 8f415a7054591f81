# The installed layout and the Debian package.
#
#   lib/glimvane/     the program, gvrecover and gvsandbox, and links to the modules it loads beside
#                     itself (in modules/) and to its shipped files, which it finds in its own
#                     folder as in build/
#   share/glimvane/   the help file, the read-me and the tips
#   bin/glimvane      a relative link to lib/glimvane/glimvane (the program resolves its
#                     folder through /proc/self/exe, so the link's folder never counts)
#   share/...         desktop entry, icons, manual page, AppStream data, copyright

set(GV_PACKAGING ${CMAKE_SOURCE_DIR}/packaging)
set(GV_SHIPPED_FILES gv23hlp.chm Readme.txt GVTIPS.GVR)

# The theme's PNG sizes, rendered from the one drawing.
find_program(RSVG_CONVERT rsvg-convert REQUIRED)
set(GV_ICON_SIZES 16 22 24 32 48 64 128 256)
set(GV_ICON_PNGS)
foreach(size IN LISTS GV_ICON_SIZES)
  set(png ${CMAKE_BINARY_DIR}/icons/${size}x${size}/glimvane.png)
  add_custom_command(OUTPUT ${png}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/icons/${size}x${size}
    COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${GV_PACKAGING}/glimvane.svg
    DEPENDS ${GV_PACKAGING}/glimvane.svg VERBATIM)
  list(APPEND GV_ICON_PNGS ${png})
  install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/apps)
endforeach()

# Debian wants the manual and the changelog compressed, without a time stamp, so that two
# builds of the same sources give the same package.
set(GV_GZIPPED)
foreach(pair "glimvane.1;glimvane.1.gz" "changelog;changelog.gz")
  list(GET pair 0 source)
  list(GET pair 1 target)
  add_custom_command(OUTPUT ${CMAKE_BINARY_DIR}/packaging/${target}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    COMMAND sh -c "gzip -9n -c \"$0\" > \"$1\"" ${GV_PACKAGING}/${source}
            ${CMAKE_BINARY_DIR}/packaging/${target}
    DEPENDS ${GV_PACKAGING}/${source} VERBATIM)
  list(APPEND GV_GZIPPED ${CMAKE_BINARY_DIR}/packaging/${target})
endforeach()
add_custom_target(package_files ALL DEPENDS ${GV_ICON_PNGS} ${GV_GZIPPED})

install(TARGETS glimvane gvrecover gvsandbox RUNTIME DESTINATION lib/glimvane)
# The modules live one folder down and are linked beside the program, where it loads them:
# a shared object directly under lib/ would have the package run ldconfig on install and
# removal, and keep its removal script in dpkg's records after `apt remove`.
set(GV_MODULES glimvane_gm glimvane_tiff glimvane_photo glimvane_instance glimvane_svg glimvane_raw)
install(TARGETS ${GV_MODULES} LIBRARY DESTINATION lib/glimvane/modules)
install(FILES ${CMAKE_BINARY_DIR}/gv23hlp.chm resources/Readme.txt resources/GVTIPS.GVR
  DESTINATION share/glimvane)
install(FILES ${GV_PACKAGING}/glimvane.desktop DESTINATION share/applications)
install(FILES ${GV_PACKAGING}/glimvane.svg DESTINATION share/icons/hicolor/scalable/apps)
install(FILES ${CMAKE_BINARY_DIR}/packaging/glimvane.1.gz DESTINATION share/man/man1)
install(FILES ${GV_PACKAGING}/io.glimvane.Glimvane.metainfo.xml DESTINATION share/metainfo)
install(FILES ${GV_PACKAGING}/copyright ${CMAKE_BINARY_DIR}/packaging/changelog.gz
  DESTINATION share/doc/glimvane)
# Relative links, so that the tree works wherever it is unpacked (DESTDIR, a package).
install(CODE "
  set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${root}/bin\")
  file(CREATE_LINK ../lib/glimvane/glimvane \"\${root}/bin/glimvane\" SYMBOLIC)
  foreach(name ${GV_SHIPPED_FILES})
    file(CREATE_LINK ../../share/glimvane/\${name} \"\${root}/lib/glimvane/\${name}\" SYMBOLIC)
  endforeach()
  foreach(module ${GV_MODULES})
    file(CREATE_LINK modules/lib\${module}.so \"\${root}/lib/glimvane/lib\${module}.so\" SYMBOLIC)
  endforeach()
")

# The Debian package: cpack --config build/CPackConfig.cmake (scripts/package).
execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE GV_DEB_ARCH
  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
if(NOT GV_DEB_ARCH)
  set(GV_DEB_ARCH amd64)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glimvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Glimvane developers")
set(CPACK_PACKAGE_CONTACT "The Glimvane developers <support@glimvane.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "image browser and viewer")
# Lines of the control file's description, each under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Glimvane shows the volumes and folders of the computer, the image files of"
  "the current folder and the chosen image with its name, size, dimensions,"
  "date and type. It offers a full-screen viewer, file operations with the"
  "desktop's Trash, favourite folders, screen capture, saving as JPEG, BMP,"
  "ICO, EMF or WMF, the wallpaper and external editors."
  "."
  "It reads BMP, DIB, RLE, JPEG, animated GIF, PNG, TIFF, Targa, PCX, PICT,"
  "EPS, icons, cursors and Windows metafiles.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME glimvane_${PROJECT_VERSION}_${GV_DEB_ARCH}.deb)
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${GV_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://glimvane.org)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What the libraries do not tell: Qt's TGA and TIFF readers are plugins (the start-up check
# asks for them), EPS files without a preview are rendered by Ghostscript, and videos, the
# default programs and web pages go through xdg-utils.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, ghostscript, xdg-utils")
# Used where the desktop has them: its settings tools (wallpaper, trusted launchers).
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "libglib2.0-bin")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

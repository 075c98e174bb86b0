# Installation of both programs with their desktop integration, and the Debian
# package made from it by CPack (`cpack` in the build folder).
include(GNUInstallDirs)

install(TARGETS foliolens foliolens-convert RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# The desktop entry and the MIME package come from the texts `foliolens assoc reg`
# writes for one user, made at install time so that Exec names the program where it
# is installed (CPack installs under its own prefix).
add_executable(folio-desktop-files ${PROJECT_SOURCE_DIR}/resources/install/desktop_files.cpp)
target_link_libraries(folio-desktop-files PRIVATE folio_app folio_posix folio_common)
set(folio_desktop_files_dir ${CMAKE_CURRENT_BINARY_DIR}/desktop-files)
install(CODE "
    file(MAKE_DIRECTORY \"${folio_desktop_files_dir}\")
    execute_process(
        COMMAND \"$<TARGET_FILE:folio-desktop-files>\"
                \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/foliolens\"
                \"${folio_desktop_files_dir}\"
        RESULT_VARIABLE made)
    if(NOT made EQUAL 0)
        message(FATAL_ERROR \"the desktop entry and MIME package could not be made\")
    endif()
    file(INSTALL \"${folio_desktop_files_dir}/foliolens.desktop\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/applications\")
    file(INSTALL \"${folio_desktop_files_dir}/foliolens.xml\"
         DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_DATADIR}/mime/packages\")
")

set(folio_icons ${PROJECT_SOURCE_DIR}/resources/icons)
foreach(size 16 22 24 32 48 64 128 256)
    install(FILES ${folio_icons}/foliolens-${size}.png
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
            RENAME foliolens.png)
endforeach()
install(FILES ${folio_icons}/foliolens.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)

# The man pages, with the project version in their headers.
foreach(page foliolens foliolens-convert)
    configure_file(${PROJECT_SOURCE_DIR}/resources/man/${page}.1.in ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1 @ONLY)
    install(FILES ${CMAKE_CURRENT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

# foliolens-convert holds qpdf, linked in whole; its licence (Apache 2.0) asks for
# its copyright notice to go with it.
set(folio_qpdf_copyright /usr/share/doc/libqpdf-dev/copyright)
if(EXISTS ${folio_qpdf_copyright})
    install(FILES ${folio_qpdf_copyright} DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/foliolens
            RENAME copyright.qpdf)
endif()

# The Debian package: foliolens_<project version>_<arch>.deb. The library
# dependencies come from dpkg-shlibdeps; the MIME, desktop and icon caches are
# refreshed by the dpkg triggers of shared-mime-info, desktop-file-utils and the icon
# cache tools, which watch the folders the files land in, on install and on removal.
set(FOLIO_PACKAGE_MAINTAINER "FolioLens developers <maintainers@foliolens.invalid>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME foliolens)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "small, fast viewer for MDI document images and TIFF")
set(CPACK_PACKAGE_DESCRIPTION
    "FolioLens shows .mdi document-image files and TIFF documents page by page, with zoom and rotation, and prints them. foliolens-convert reads, renders and exports the same documents from the command line.")
set(CPACK_PACKAGE_CONTACT "${FOLIO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "shared-mime-info, desktop-file-utils, hicolor-icon-theme")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)

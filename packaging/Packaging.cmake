# The Debian package. `make package` runs CPack's DEB generator in a Release build; it
# packs what the install rules install, plus the documents Debian asks of a package.
include(GNUInstallDirs)

# The release notes name the version too; one that lags behind fails the configure step
# instead of shipping notes of an older release.
foreach(notes packaging/changelog data/org.example.kavuro.metainfo.xml)
    file(READ ${PROJECT_SOURCE_DIR}/${notes} text)
    string(REGEX MATCH "kavuro \\(([^)]*)\\)|<release version=\"([^\"]*)\"" newest "${text}")
    if(NOT "${CMAKE_MATCH_1}${CMAKE_MATCH_2}" STREQUAL PROJECT_VERSION)
        message(FATAL_ERROR "${notes}: the newest release is not ${PROJECT_VERSION}")
    endif()
endforeach()

install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${PROJECT_SOURCE_DIR}/packaging/changelog
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kavuro)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Kavuro developers")
set(CPACK_PACKAGE_CONTACT "Kavuro maintainers <maintainers@kavuro.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "list the songs of a QQ Zone space playlist")
set(CPACK_PACKAGE_DESCRIPTION
    "Kavuro shows the music list that a QQ user has put into their QQ Zone space:
type a QQ number, press the button, and every song of the playlist is listed
with its name, singer and address. The list's pop-up menu copies a song's name
or address to the clipboard.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/packaging/finish-staging.cmake)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${KAVURO_HOMEPAGE_URL})
# The libraries' own packages, from the binaries; Qt's platform plugins and a Chinese
# font are loaded at run time, so no library names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei | fonts-noto-cjk")

include(CPack)

# What an installed Vantora holds (cmake --install), and the Debian package made from it (cpack -G DEB).
# Included after src/, whose programs install themselves.
include(GNUInstallDirs)

set(VANTORA_APP_ID io.github.vantora.Vantora)

# The switches that only the tests use (VANTORA_PROMPT_LOG) come with the tests and never ship: a
# package is built with -DVANTORA_TESTS=OFF. Of the program, only the app library sees the generated
# header. The logging prompt itself stays in the library for the screenshot tool; without a switch
# naming it, the linker leaves it out of the program.
option(VANTORA_TEST_HOOKS "Build the test-only switches into the program" ${VANTORA_TESTS})
if(VANTORA_TEST_HOOKS)
  set(VANTORA_TEST_HOOKS_VALUE true)
else()
  set(VANTORA_TEST_HOOKS_VALUE false)
  if(VANTORA_TESTS)
    message(STATUS "VANTORA_TEST_HOOKS is OFF: tst_startswitch cannot read the program's prompts")
  endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/testhooks.h.in ${PROJECT_BINARY_DIR}/generated/testhooks.h @ONLY)
target_include_directories(vantora_app PRIVATE ${PROJECT_BINARY_DIR}/generated)

install(FILES ${PROJECT_SOURCE_DIR}/data/vantora.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/data/vantora.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/data/${VANTORA_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

set(CPACK_PACKAGE_NAME vantora)
set(CPACK_PACKAGE_VENDOR "Vantora developers")
set(CPACK_PACKAGE_CONTACT "Vantora developers <developers@vantora.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "photo and video import from camera cards")
# The control file keeps these lines as they are: wrapped short here.
set(CPACK_PACKAGE_DESCRIPTION "Vantora copies or moves the photo, video and audio files of a camera card,\n\
or of any source folder, into your own folders: each extension to its own\n\
destination, under names made from templates. It takes an inserted card as\n\
the source by itself. The user interface is Japanese.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded at run time, so invisible to the shared-library scan: the caption font, Qt's Japanese
# translations and the X11 platform plugin.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-ipafont-gothic, qt6-translations-l10n, qt6-qpa-plugins, libqt6sql6-sqlite")
# Refreshes the desktop's cache after a registration; the entry works without it. gio takes a camera
# back from the desktop's own mount.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "desktop-file-utils, libglib2.0-bin")
include(CPack)

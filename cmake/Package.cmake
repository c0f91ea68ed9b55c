# The release for Windows users: one ZIP with the x86-64 and the x86 build side by side,
# each in a folder of its own, and install.cmd, uninstall.cmd and README.txt above them.
# Each build tree installs its binaries into its architecture's folder; CPack gathers
# both trees' installs into the one archive (scripts/package.sh builds both and runs it).
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(ORVIX_ARCH_FOLDER x64)
else()
    set(ORVIX_ARCH_FOLDER x86)
endif()

install(TARGETS Orvix61Test orvix-capture orvix-verify orvix-camera
        RUNTIME DESTINATION ${ORVIX_ARCH_FOLDER} COMPONENT binaries)

# Windows users read README.txt in Notepad and run the scripts with cmd: CRLF line ends.
configure_file(${PROJECT_SOURCE_DIR}/package/README.txt ${PROJECT_BINARY_DIR}/release/README.txt
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${PROJECT_SOURCE_DIR}/package/install.cmd ${PROJECT_SOURCE_DIR}/package/uninstall.cmd
              ${PROJECT_BINARY_DIR}/release/README.txt
        DESTINATION . COMPONENT release)

# Installing builds only what it installs (package.sh names those targets), not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY TRUE)

# The two build trees the package is made from: the presets' folders.
set(ORVIX_PACKAGE_X64_BUILD "${PROJECT_SOURCE_DIR}/build" CACHE PATH
    "The x86-64 build tree whose binaries go into the package's x64 folder")
set(ORVIX_PACKAGE_X86_BUILD "${PROJECT_SOURCE_DIR}/build-x86" CACHE PATH
    "The x86 build tree whose binaries go into the package's x86 folder")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-windows")
set(CPACK_PACKAGE_DIRECTORY "${PROJECT_BINARY_DIR}/release")
# install.cmd and the two folders at the top of the archive: unpacking it into a folder
# of one's own does not put a second folder of the same name inside.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Symbols stay in the build trees; the shipped binaries are a fraction of the size.
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${ORVIX_PACKAGE_X64_BUILD};${PROJECT_NAME};binaries;/"
    "${ORVIX_PACKAGE_X86_BUILD};${PROJECT_NAME};binaries;/"
    "${ORVIX_PACKAGE_X64_BUILD};${PROJECT_NAME};release;/")
set(CPACK_SOURCE_GENERATOR "")
include(CPack)

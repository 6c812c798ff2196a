# The release: `--target package` makes the installer, the portable zip and SHA256SUMS in
# dist/ through packaging/make-release.py. With QUELVANT_SIGN_CERT (PEM with QUELVANT_SIGN_KEY,
# or a PKCS#12 file; a password comes from the environment variable QUELVANT_SIGN_PASSWORD at
# build time) the program, the library and the installer are signed. With QUELVANT_RELEASE_URL
# and QUELVANT_HOMEPAGE it also writes the winget and Scoop manifests of the files it made.
# `--target manifests` writes SHA256SUMS and the manifests again from dist/ as it is now (after
# time-stamping the files), building nothing.
set(QUELVANT_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate (PEM, or PKCS#12 .p12/.pfx)")
set(QUELVANT_SIGN_KEY "" CACHE FILEPATH "Private key of a PEM certificate")
# Where the published files will be; ours to be told, never to guess.
set(QUELVANT_RELEASE_URL "" CACHE STRING
    "Address of the folder the release's files are downloaded from ({version} is replaced)")
set(QUELVANT_HOMEPAGE "" CACHE STRING "Quelvant's home page, named by the manifests and the installer")
set(QUELVANT_RELEASE_NOTES_URL "" CACHE STRING
    "Address of the release's notes, when published ({version} is replaced)")

# The release check (package_contents) validates the manifests with Debian's python3-jsonschema
# and python3-rfc3987 (scripts/setup), which only Debian's own interpreter sees, whatever other
# Python comes first on the PATH: it runs under that one where there is one.
if(EXISTS /usr/bin/python3)
    set(Python3_EXECUTABLE /usr/bin/python3)
endif()

if(QUELVANT_SIGN_CERT)
    find_program(OSSLSIGNCODE osslsigncode REQUIRED)
    if(NOT QUELVANT_SIGN_CERT MATCHES "\\.(p12|pfx|P12|PFX)$" AND NOT QUELVANT_SIGN_KEY)
        message(FATAL_ERROR "QUELVANT_SIGN_CERT is a PEM certificate: give its key in QUELVANT_SIGN_KEY")
    endif()
    # The installer's program asks for user-interface access: the same objects linked with
    # the other manifest, into bin/installed so it never stands beside the portable one.
    add_executable(QuelvantInstalled WIN32
        $<FILTER:$<TARGET_OBJECTS:Quelvant>,EXCLUDE,\\.rc\\.res$>
        ${PROJECT_SOURCE_DIR}/res/Quelvant.rc)
    target_include_directories(QuelvantInstalled PRIVATE
        ${PROJECT_BINARY_DIR}/res/installed ${PROJECT_SOURCE_DIR}/res ${PROJECT_BINARY_DIR}/res)
    target_link_libraries(QuelvantInstalled PRIVATE quelvant_ui quelvant_adapters framework Helper)
    target_link_options(QuelvantInstalled PRIVATE -municode $<$<CONFIG:Release,MinSizeRel>:-s>)
    set_target_properties(QuelvantInstalled PROPERTIES OUTPUT_NAME Quelvant
                                                       RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/installed)
    set(installed_exe $<TARGET_FILE:QuelvantInstalled>)
    message(STATUS "Quelvant: signed build; the installer's program asks for uiAccess=\"true\", "
                   "the portable zip's for uiAccess=\"false\"")
else()
    set(installed_exe $<TARGET_FILE:Quelvant>)
    message(STATUS "Quelvant: unsigned build; every program asks for uiAccess=\"false\"")
endif()

# A build tree that packed with CPack before keeps its configuration, which reserves the name.
file(REMOVE ${CMAKE_BINARY_DIR}/CPackConfig.cmake ${CMAKE_BINARY_DIR}/CPackSourceConfig.cmake)
add_custom_target(package
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/packaging/make-release.py
            --version ${PROJECT_VERSION} --source-dir ${PROJECT_SOURCE_DIR}
            --portable-exe $<TARGET_FILE:Quelvant> --installed-exe ${installed_exe}
            --helper $<TARGET_FILE:Helper> --wxs ${PROJECT_SOURCE_DIR}/packaging/Quelvant.wxs
            --icon ${PROJECT_SOURCE_DIR}/res/Quelvant.ico
            --stage-dir ${CMAKE_BINARY_DIR}/package-stage --out-dir ${CMAKE_BINARY_DIR}/dist
            --sign-cert "${QUELVANT_SIGN_CERT}" --sign-key "${QUELVANT_SIGN_KEY}"
            --release-url "${QUELVANT_RELEASE_URL}" --homepage "${QUELVANT_HOMEPAGE}"
            --release-notes-url "${QUELVANT_RELEASE_NOTES_URL}"
    COMMENT "Making the installer, the portable zip, SHA256SUMS and the manifests in ${CMAKE_BINARY_DIR}/dist"
    VERBATIM)
add_dependencies(package Quelvant Helper)
if(QUELVANT_SIGN_CERT)
    add_dependencies(package QuelvantInstalled)
endif()

add_custom_target(manifests
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/packaging/make-release.py manifests
            ${CMAKE_BINARY_DIR}/dist
            --release-url "${QUELVANT_RELEASE_URL}" --homepage "${QUELVANT_HOMEPAGE}"
            --release-notes-url "${QUELVANT_RELEASE_NOTES_URL}"
    COMMENT "Writing SHA256SUMS and the manifests from the files in ${CMAKE_BINARY_DIR}/dist"
    VERBATIM)

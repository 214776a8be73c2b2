# kvmovil, the handheld web application: its files assembled into ${CMAKE_BINARY_DIR}/app, the
# folder kvcradle serves at /app/ from a build tree (KV_APP_DIR) and the one installed into
# share/kvcontrol/app. No bundler: the sources are copied as they are, with SQLite's WebAssembly
# build from app/node_modules (npm ci in app/; ./run and ./test do it), an empty handheld made by
# kvhandheld, and the service worker written with the list of files and their version.
set(KV_APP_SOURCE ${PROJECT_SOURCE_DIR}/app)
set(KV_APP_DIR ${CMAKE_BINARY_DIR}/app)
set(KV_APP_VENDOR ${KV_APP_SOURCE}/node_modules/sql.js/dist)
file(GLOB_RECURSE KV_APP_FILES CONFIGURE_DEPENDS RELATIVE ${KV_APP_SOURCE}
     ${KV_APP_SOURCE}/*.html ${KV_APP_SOURCE}/*.css ${KV_APP_SOURCE}/*.webmanifest
     ${KV_APP_SOURCE}/*.svg ${KV_APP_SOURCE}/*.png ${KV_APP_SOURCE}/js/*.js)
list(FILTER KV_APP_FILES EXCLUDE REGEX "^node_modules/")
list(TRANSFORM KV_APP_FILES PREPEND ${KV_APP_SOURCE}/ OUTPUT_VARIABLE KV_APP_SOURCES)

if(EXISTS ${KV_APP_VENDOR}/sql-wasm-browser.wasm)
    set(KV_APP_ALL ALL)
else()
    message(STATUS "kvmovil: app/node_modules is missing (npm ci in app/): the handheld application is not built")
    set(KV_APP_ALL)
endif()
add_custom_command(
    OUTPUT ${KV_APP_DIR}/sw.js
    COMMAND ${CMAKE_COMMAND} -DSOURCE=${KV_APP_SOURCE} -DOUT=${KV_APP_DIR} "-DFILES=${KV_APP_FILES}"
            -DVENDOR=${KV_APP_VENDOR} -DKVHANDHELD=$<TARGET_FILE:kvhandheld>
            -P ${PROJECT_SOURCE_DIR}/cmake/KvAppAssemble.cmake
    DEPENDS ${KV_APP_SOURCES} ${KV_APP_SOURCE}/sw.js.in ${KV_APP_SOURCE}/package-lock.json kvhandheld
            ${PROJECT_SOURCE_DIR}/cmake/KvAppAssemble.cmake
    COMMENT "kvmovil: assembling the handheld application in ${KV_APP_DIR}"
    VERBATIM)
add_custom_target(kvmovil ${KV_APP_ALL} DEPENDS ${KV_APP_DIR}/sw.js)
install(DIRECTORY ${KV_APP_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kvcontrol/app OPTIONAL)
# kvcradle serves the build tree's folder when it runs from a build tree.
target_compile_definitions(kvcradle PRIVATE KV_APP_DIR="${KV_APP_DIR}")
if(KV_APP_ALL)
    add_dependencies(kvcradle kvmovil)
endif()

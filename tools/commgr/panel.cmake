# The browser panel (commgr --panel): on native Linux builds with Debian's cpp-httplib; the
# other builds get a commgr that says it has none. Its tables are written at build time by
# panel_gen from the program's own tables and built into commgr with the page's files.

# The link figures the panel shows are counted on every build (tools/commgr/panel_state.h).
target_sources(commgr_core PRIVATE panel_state.cpp)

set(KIV_PANEL OFF)
if(NOT CMAKE_CROSSCOMPILING AND NOT KIV_SANITIZE AND NOT KIV_FUZZ)
  find_package(PkgConfig)
  if(PkgConfig_FOUND)
    pkg_check_modules(HTTPLIB IMPORTED_TARGET cpp-httplib)
  endif()
  if(HTTPLIB_FOUND)
    set(KIV_PANEL ON)
  else()
    message(WARNING "cpp-httplib not found (tools/setup.sh installs it): commgr has no panel")
  endif()
endif()

if(NOT KIV_PANEL)
  target_sources(commgr PRIVATE panel_none.cpp)
  return()
endif()

add_executable(panel_gen panel_gen.cpp)
target_link_libraries(panel_gen PRIVATE commgr_core kivtoolvars)

set(dir ${CMAKE_CURRENT_SOURCE_DIR}/panel)
set(tables ${CMAKE_CURRENT_BINARY_DIR}/panel_tables.json)
set(embedded ${CMAKE_CURRENT_BINARY_DIR}/panel_assets.cpp)
add_custom_command(OUTPUT ${tables} COMMAND panel_gen ${tables} DEPENDS panel_gen
                   COMMENT "Writing the panel's tables from the program's" VERBATIM)
# PATH|TYPE|FILE, comma-separated (a CMake list would be split on its way to the script).
set(assets "/|text/html|${dir}/panel.html,/panel.js|text/javascript|${dir}/panel.js,\
/panel.css|text/css|${dir}/panel.css,/tables.json|application/json|${tables}")
add_custom_command(OUTPUT ${embedded}
                   COMMAND ${CMAKE_COMMAND} "-DASSETS=${assets}" -DOUT=${embedded}
                           -P ${CMAKE_CURRENT_SOURCE_DIR}/panel_embed.cmake
                   DEPENDS ${tables} ${dir}/panel.html ${dir}/panel.js ${dir}/panel.css
                           ${CMAKE_CURRENT_SOURCE_DIR}/panel_embed.cmake
                   COMMENT "Building the panel's files into commgr" VERBATIM)
target_sources(commgr PRIVATE panel_server.cpp ${embedded})
target_link_libraries(commgr PRIVATE PkgConfig::HTTPLIB)

# A Windows program's icon and version resource, as Explorer shows them.
#
# The icon is drawn by the program's own code (render-icon) on the building
# machine: built in this tree where it can run here, or, for a cross-build,
# the one that KORVID_RENDER_ICON names (a native build's tools/render-icon).

set(KORVID_RENDER_ICON "" CACHE FILEPATH "render-icon of a native build, for a cross-build's icon")

function(korvid_windows_resources target description)
    set(KORVID_RC_NAME ${target})
    set(KORVID_RC_DESCRIPTION "${description}")
    set(KORVID_RC_ICON "")
    set(ico ${CMAKE_BINARY_DIR}/korvid-halvane.ico)
    if(TARGET render-icon)
        set(render $<TARGET_FILE:render-icon>)
    elseif(KORVID_RENDER_ICON)
        set(render ${KORVID_RENDER_ICON})
    endif()
    if(render)
        if(NOT TARGET windows-icon)
            add_custom_command(OUTPUT ${ico}
                COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
                        ${render} --ico ${ico} 16 24 32 48 64 256
                COMMENT "Drawing the program's icon for Windows")
            add_custom_target(windows-icon DEPENDS ${ico})
        endif()
        set(KORVID_RC_ICON "1 ICON \"${ico}\"")
    else()
        message(STATUS "${target}.exe gets no icon: no render-icon to draw it (set KORVID_RENDER_ICON)")
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/windows_resources.rc.in
                   ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc @ONLY)
    target_sources(${target} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${target}.rc)
    if(render)
        add_dependencies(${target} windows-icon)
        set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${target}.rc PROPERTIES
            OBJECT_DEPENDS ${ico})
    endif()
endfunction()

# The Windows programs: a window program (no console) with the application's icon and a
# version resource, and the console program; the setup program is made by
# packaging/windows/installer.nsi (scripts/build-windows.sh).
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(VORLEN_ICON ${CMAKE_CURRENT_BINARY_DIR}/VorlenSoftwareUpdate.ico)
set(VORLEN_ICON_SIZES 16 32 48 256)
list(TRANSFORM VORLEN_ICON_SIZES PREPEND ${PROJECT_SOURCE_DIR}/resources/icons/vorlen-software-update- OUTPUT_VARIABLE VORLEN_ICON_PNGS)
list(TRANSFORM VORLEN_ICON_PNGS APPEND .png)
add_custom_command(OUTPUT ${VORLEN_ICON}
    COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/make_icon.py ${VORLEN_ICON} ${VORLEN_ICON_PNGS}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/make_icon.py ${VORLEN_ICON_PNGS})

foreach(program VorlenSoftwareUpdate vorlen-cli)
    set(VORLEN_RC_PROGRAM ${program})
    configure_file(${CMAKE_CURRENT_LIST_DIR}/program.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${program}.rc @ONLY)
    target_sources(${program} PRIVATE ${CMAKE_CURRENT_BINARY_DIR}/${program}.rc)
    set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${program}.rc PROPERTIES OBJECT_DEPENDS ${VORLEN_ICON})
    target_link_options(${program} PRIVATE -s)
endforeach()
set_target_properties(VorlenSoftwareUpdate PROPERTIES WIN32_EXECUTABLE TRUE)
target_sources(VorlenSoftwareUpdate PRIVATE ${PROJECT_SOURCE_DIR}/application/WineRepaintWindows.cpp)

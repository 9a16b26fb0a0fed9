# Adds every subfolder that has a CMakeLists.txt, in name order.
function(dirclient_add_subfolders)
    # Globbing the CMakeLists.txt files (not the folders) makes a new one trigger a
    # reconfiguration.
    file(GLOB lists RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}" CONFIGURE_DEPENDS
         "${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt")
    list(SORT lists)
    foreach(list_file IN LISTS lists)
        get_filename_component(child "${list_file}" DIRECTORY)
        add_subdirectory(${child})
    endforeach()
endfunction()

# Includes every *.cmake file of the current folder, in name order.
macro(dirclient_include_parts)
    file(GLOB _dirclient_parts CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*.cmake")
    list(SORT _dirclient_parts)
    foreach(_dirclient_part IN LISTS _dirclient_parts)
        include("${_dirclient_part}")
    endforeach()
endmacro()

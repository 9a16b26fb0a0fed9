# Adds every subfolder that has a CMakeLists.txt, in name order.
function(dirclient_add_subfolders)
    file(GLOB children LIST_DIRECTORIES true RELATIVE "${CMAKE_CURRENT_SOURCE_DIR}"
         CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/*")
    list(SORT children)
    foreach(child IN LISTS children)
        if(EXISTS "${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt")
            add_subdirectory(${child})
        endif()
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

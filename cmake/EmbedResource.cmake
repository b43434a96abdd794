# tarrowin_embed_resource(<target> <function> <file>)
#
# Builds <file> into <target> byte for byte and defines `std::string_view <function>()` returning those
# bytes. The assembler's .incbin copies the file, so a megabyte of data costs nothing at configure time
# and little at compile time; the object is rebuilt whenever the file changes.
include_guard(GLOBAL)

function(tarrowin_embed_resource target function file)
    get_filename_component(RESOURCE_FILE ${file} ABSOLUTE)
    if(RESOURCE_FILE MATCHES "[\"\\\\]")
        message(FATAL_ERROR "tarrowin_embed_resource: the path ${RESOURCE_FILE} must not hold quotes or backslashes")
    endif()
    set(RESOURCE_FUNCTION ${function})
    set(source ${CMAKE_CURRENT_BINARY_DIR}/${function}.cpp)
    configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/EmbedResource.cpp.in ${source} @ONLY)
    target_sources(${target} PRIVATE ${source})
    set_source_files_properties(${source} TARGET_DIRECTORY ${target} PROPERTIES OBJECT_DEPENDS ${RESOURCE_FILE})
endfunction()

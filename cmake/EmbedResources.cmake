# resources/manifest.txt, the one list of embedded resources, made into what each platform embeds.

# Reads the manifest into three parallel lists: types, ids and full paths (a file starting with
# "@" is made by the build, in the build folder; a built shared library named ".so" there is the
# ".dll" of the same name on Windows).
function(vesiclar_read_manifest manifest out_types out_ids out_paths)
  file(STRINGS ${manifest} lines)
  set(types "")
  set(ids "")
  set(paths "")
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REGEX REPLACE "[ \t]+" ";" parts "${line}")
    list(GET parts 0 type)
    list(GET parts 1 id)
    list(GET parts 2 file)
    if(file MATCHES "^@")
      string(SUBSTRING "${file}" 1 -1 file)
      if(WIN32)
        string(REGEX REPLACE "\\.so$" ".dll" file "${file}")
      endif()
      set(path ${CMAKE_CURRENT_BINARY_DIR}/${file})
    else()
      set(path ${CMAKE_CURRENT_SOURCE_DIR}/${file})
    endif()
    list(APPEND types ${type})
    list(APPEND ids ${id})
    list(APPEND paths ${path})
  endforeach()
  set(${out_types} ${types} PARENT_SCOPE)
  set(${out_ids} ${ids} PARENT_SCOPE)
  set(${out_paths} ${paths} PARENT_SCOPE)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${manifest})
endfunction()

# Linux: an assembler file that .incbin's every resource and a C++ table that answers
# findResource(type, id). An OBJECT library: every program that links it gets the table whatever
# its link order (the data floor calls findResource but does not link it).
function(vesiclar_embed_resources target manifest)
  vesiclar_read_manifest(${manifest} types ids files)
  set(asm "# Generated from manifest.txt\n.section .rodata\n")
  set(decls "")
  set(rows "")
  set(index 0)
  foreach(type id path IN ZIP_LISTS types ids files)
    string(APPEND asm ".balign 16\n.global vesiclar_res_${index}\nvesiclar_res_${index}:\n.incbin \"${path}\"\n.global vesiclar_res_${index}_end\nvesiclar_res_${index}_end:\n.byte 0\n")
    string(APPEND decls "extern const unsigned char vesiclar_res_${index}[], vesiclar_res_${index}_end[];\n")
    string(APPEND rows "    {\"${type}\", ${id}, vesiclar_res_${index}, vesiclar_res_${index}_end},\n")
    math(EXPR index "${index} + 1")
  endforeach()
  string(APPEND asm ".section .note.GNU-stack,\"\",@progbits\n")
  set(cpp "// Generated from manifest.txt\n#include <cstring>\n#include \"data/resources.h\"\n\nextern \"C\" {\n${decls}}\n\nnamespace {\nstruct Row {\n    const char* type;\n    int id;\n    const unsigned char* begin;\n    const unsigned char* end;\n};\nconst Row kRows[] = {\n${rows}};\n}  // namespace\n\nstd::span<const uint8_t> findResource(const char* type, int id)\n{\n    for (const Row& row : kRows)\n        if (row.id == id && std::strcmp(row.type, type) == 0)\n            return {row.begin, static_cast<size_t>(row.end - row.begin)};\n    return {};\n}\n")
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/embedded_resources.S CONTENT "${asm}")
  file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/resource_table.cpp CONTENT "${cpp}")
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/embedded_resources.S PROPERTIES OBJECT_DEPENDS "${files}")
  add_library(${target} OBJECT ${CMAKE_CURRENT_BINARY_DIR}/embedded_resources.S ${CMAKE_CURRENT_BINARY_DIR}/resource_table.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()

# Windows: the resource script win32/vesiclar.rc in the build folder, with every resource of the
# manifest (types named in SKIP_TYPES left out), the dialog templates, the version information and
# the application manifest from resources/win32/. An OBJECT library with the module's own
# findResource, as on Linux.
function(vesiclar_resource_script target manifest)
  cmake_parse_arguments(R "" "" "SKIP_TYPES" ${ARGN})
  vesiclar_read_manifest(${manifest} types ids files)
  set(win32 ${CMAKE_CURRENT_SOURCE_DIR}/win32)
  set(rc "// Generated from manifest.txt\n#include <windows.h>\n#include <commctrl.h>\n\n")
  set(used "")
  foreach(type id path IN ZIP_LISTS types ids files)
    if(type IN_LIST R_SKIP_TYPES)
      continue()
    endif()
    string(APPEND rc "${id} ${type} \"${path}\"\n")
    list(APPEND used ${path})
  endforeach()
  set(version "${PROJECT_VERSION_MAJOR},${PROJECT_VERSION_MINOR},${PROJECT_VERSION_PATCH},0")
  string(APPEND rc "
#include \"${win32}/dialogs.rc\"

CREATEPROCESS_MANIFEST_RESOURCE_ID RT_MANIFEST \"${win32}/vesiclar.manifest\"

VS_VERSION_INFO VERSIONINFO
FILEVERSION ${version}
PRODUCTVERSION ${version}
FILEFLAGSMASK VS_FFI_FILEFLAGSMASK
FILEFLAGS 0
FILEOS VOS_NT_WINDOWS32
FILETYPE VFT_APP
FILESUBTYPE VFT2_UNKNOWN
BEGIN
    BLOCK \"StringFileInfo\"
    BEGIN
        BLOCK \"040904b0\"
        BEGIN
            VALUE \"CompanyName\", \"Quorvane\"
            VALUE \"FileDescription\", \"Vesiclar\"
            VALUE \"FileVersion\", \"${PROJECT_VERSION}\"
            VALUE \"InternalName\", \"Vesiclar\"
            VALUE \"LegalCopyright\", \"Copyright (C) 2026 Quorvane\"
            VALUE \"OriginalFilename\", \"Vesiclar.scr\"
            VALUE \"ProductName\", \"Vesiclar\"
            VALUE \"ProductVersion\", \"${PROJECT_VERSION}\"
        END
    END
    BLOCK \"VarFileInfo\"
    BEGIN
        VALUE \"Translation\", 0x409, 1200
    END
END
")
  set(script ${CMAKE_CURRENT_BINARY_DIR}/win32/vesiclar.rc)
  file(GENERATE OUTPUT ${script} CONTENT "${rc}")
  set_source_files_properties(${script} PROPERTIES
    OBJECT_DEPENDS "${used};${win32}/dialogs.rc;${win32}/vesiclar.manifest")
  add_library(${target} OBJECT ${script} ${PROJECT_SOURCE_DIR}/src/platform/win32/resources.cpp)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR}/src)
endfunction()

# Self-update: the version report, the file transfer of update packages and the hand-off
# of a waiting package to the relauncher.
target_sources(korvi_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/filetransfer.cpp ${CMAKE_CURRENT_LIST_DIR}/filetransfer.h
    ${CMAKE_CURRENT_LIST_DIR}/handoff.cpp ${CMAKE_CURRENT_LIST_DIR}/handoff.h
    ${CMAKE_CURRENT_LIST_DIR}/versionreport.cpp ${CMAKE_CURRENT_LIST_DIR}/versionreport.h
)
# The version the client reports is the project version, set in one place.
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/versionreport.cpp PROPERTIES COMPILE_DEFINITIONS
    "KORVI_VERSION_MAJOR=${PROJECT_VERSION_MAJOR};KORVI_VERSION_MINOR=${PROJECT_VERSION_MINOR};KORVI_VERSION_PATCH=${PROJECT_VERSION_PATCH}")

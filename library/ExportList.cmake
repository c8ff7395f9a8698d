# Reads the export list DMP_EXPORT_LIST into DMP_EXPORT_NAMES and stops with
# an error unless the public header DMP_PUBLIC_HEADER declares exactly those
# names. Included by this folder's CMakeLists.txt; a test runs it with -P.
file(STRINGS ${DMP_EXPORT_LIST} export_lines REGEX "^DMP_[A-Z]+_EXPORT\\(")
list(TRANSFORM export_lines REPLACE "^DMP_[A-Z]+_EXPORT\\(([A-Za-z0-9_]+)\\).*$" "\\1"
     OUTPUT_VARIABLE DMP_EXPORT_NAMES)
file(STRINGS ${DMP_PUBLIC_HEADER} declaration_lines REGEX "^DMP_EXPORT ")
list(TRANSFORM declaration_lines REPLACE "^DMP_EXPORT [^(]*[ *]([A-Za-z0-9_]+)\\(.*$" "\\1"
     OUTPUT_VARIABLE declared_names)
list(JOIN declared_names "|" any_declared)
list(JOIN DMP_EXPORT_NAMES "|" any_listed)
set(listed_only ${DMP_EXPORT_NAMES})
list(FILTER listed_only EXCLUDE REGEX "^(${any_declared})$")
set(declared_only ${declared_names})
list(FILTER declared_only EXCLUDE REGEX "^(${any_listed})$")
if(listed_only OR declared_only)
  message(NOTICE "listed only: ${listed_only}\ndeclared only: ${declared_only}")
  message(FATAL_ERROR "${DMP_EXPORT_LIST} and ${DMP_PUBLIC_HEADER} disagree")
endif()

# Writes the GS1 module's data as C++ (see host/gs1/data.h): GS1's Barcode
# Syntax Dictionary verbatim in a raw string literal, and the ISO 3166-1 and
# ISO 4217 codes of Debian's iso-codes package. Run at build time:
#   cmake -DDICTIONARY=FILE -DISO_CODES=DIR -DOUTPUT=FILE -P Gs1Data.cmake
# Regular expressions rather than string(JSON), which CMake 3.18 lacks.
cmake_minimum_required(VERSION 3.18)

set(delimiter gs1dictionary)
file(READ "${DICTIONARY}" dictionary)
string(FIND "${dictionary}" ")${delimiter}\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${DICTIONARY} holds the raw string's delimiter )${delimiter}\"")
endif()

# Each code of `key` in the JSON file, as one space-separated string.
function(iso_codes file key pattern minimum out)
  if(NOT EXISTS "${ISO_CODES}/${file}")
    message(FATAL_ERROR "${ISO_CODES}/${file} is missing (Debian package iso-codes)")
  endif()
  file(READ "${ISO_CODES}/${file}" json)
  string(REGEX MATCHALL "\"${key}\"[ \t\r\n]*:[ \t\r\n]*\"${pattern}\"" pairs "${json}")
  set(codes "")
  foreach(pair IN LISTS pairs)
    string(REGEX REPLACE ".*\"(${pattern})\"$" "\\1" code "${pair}")
    list(APPEND codes "${code}")
  endforeach()
  list(REMOVE_DUPLICATES codes)
  list(SORT codes)
  list(LENGTH codes count)
  if(count LESS minimum)
    message(FATAL_ERROR "only ${count} ${key} codes in ${ISO_CODES}/${file}")
  endif()
  list(JOIN codes " " joined)
  set(${out} "${joined}" PARENT_SCOPE)
endfunction()

iso_codes(iso_3166-1.json numeric "[0-9][0-9][0-9]" 200 country_numeric)
iso_codes(iso_3166-1.json alpha_2 "[A-Z][A-Z]" 200 country_alpha2)
iso_codes(iso_4217.json numeric "[0-9][0-9][0-9]" 100 currency_numeric)

file(WRITE "${OUTPUT}"
  "// Written by cmake/Gs1Data.cmake from ${DICTIONARY}\n"
  "// and ${ISO_CODES}: do not edit.\n"
  "#include \"host/gs1/data.h\"\n\n"
  "namespace gs1::data {\n\n"
  "const char kDictionary[] = R\"${delimiter}(${dictionary})${delimiter}\";\n\n"
  "const char kIso3166Numeric[] = \"${country_numeric}\";\n"
  "const char kIso3166Alpha2[] = \"${country_alpha2}\";\n"
  "const char kIso4217Numeric[] = \"${currency_numeric}\";\n\n"
  "}  // namespace gs1::data\n")

# Writes the packages' copyright file (cmake/Install.cmake): docs/copyright,
# then the Apache License 2.0 as a standalone license paragraph of Debian's
# copyright format, its text taken from the GS1 dictionary's LICENSE (each
# line indented by one space, each empty line a lone " .").
#   cmake -DHEAD=docs/copyright -DAPACHE=LICENSE -DOUTPUT=FILE -P Copyright.cmake
file(READ "${HEAD}" head)
file(READ "${APACHE}" text)
string(REGEX REPLACE "[ \t\n]+$" "" text "${text}")
string(REGEX REPLACE "\n" "\n " text " ${text}")
# A line of blanks becomes " ."; twice, as two such lines in a row share a newline.
foreach(pass 1 2)
  string(REGEX REPLACE "\n[ \t]*\n" "\n .\n" text "${text}")
endforeach()
file(WRITE "${OUTPUT}" "${head}\nLicense: Apache-2.0\n${text}\n")

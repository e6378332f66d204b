# Writes a C++ source that holds a file's bytes: cmake -DINPUT=file -DOUTPUT=source.cpp
# -DNAME=kName -DHEADER=folder/header.h -P embedfile.cmake
file(READ "${INPUT}" bytes HEX)
string(LENGTH "${bytes}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${bytes}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n"
       bytes "${bytes}")
file(WRITE "${OUTPUT}"
    "// Made from ${INPUT} by embedfile.cmake; not to be edited.\n"
    "#include \"${HEADER}\"\n\n"
    "const unsigned char ${NAME}[] = {\n${bytes}};\n"
    "const std::size_t ${NAME}Size = ${size};\n")

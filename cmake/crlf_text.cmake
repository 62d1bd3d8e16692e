# Copies a text file with Windows line ends (CR LF), for the Windows zip:
#   cmake -DINPUT=README.md -DOUTPUT=README.txt -P cmake/crlf_text.cmake
file(READ "${INPUT}" text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUTPUT}" "${text}")

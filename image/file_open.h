// Opening a file of the host for binary reading, by a path as the tool
// holds paths: the bytes typed on POSIX, and UTF-8 on Windows, where the
// path goes to the wide-character call. Through the ANSI call a letter the
// code page lacks would become a near one, and another file be opened.
#pragma once

#include <cstdio>

namespace d88 {

// nullptr, with errno set, when the file cannot be opened.
std::FILE* OpenBinaryForReading(const char* path);

}  // namespace d88

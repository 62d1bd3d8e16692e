// A validating JSON checker: says whether bytes are one JSON text as RFC
// 8259 has it, in UTF-8. It builds nothing; the fuzzer and the tests use it
// to tell that what the tool printed can be parsed.
#pragma once

#include <cstddef>

namespace d88check {

bool IsValidJson(const char* data, std::size_t length);

}  // namespace d88check

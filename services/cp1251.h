// The ECU's own texts (identification fields) are Windows-1251 bytes; the station's
// texts are UTF-8. One table turns the first into the second.
#pragma once

#include <cstddef>
#include <string>

namespace services {

// Decodes `n` Windows-1251 bytes to UTF-8. The one unassigned byte, 0x98, becomes U+FFFD.
std::string DecodeCp1251(const char* bytes, size_t n);

}  // namespace services

#pragma once

#include <string>
#include <string_view>

// The text of bytes from the settings file, as UTF-8. This program stores UTF-8; the older
// Windows program stored Windows-1252. Bytes that are valid UTF-8 come back unchanged; any other
// bytes are read as Windows-1252.
std::string textFromStoredBytes(std::string_view bytes);

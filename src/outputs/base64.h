#pragma once

#include <string>
#include <string_view>

// Base64 (RFC 4648) of `bytes`, with padding, in one line.
std::string base64(std::string_view bytes);

#pragma once
#include <string>
#include <string_view>

// The standard base64 alphabet with "=" padding, as one line without breaks.
std::string Base64Encode(std::string_view bytes);

#pragma once
#include <cstddef>
#include <string>
#include <string_view>

// The page-title fetch of TPlatformPing::GetPageTitle, split so that its pure part can be
// tested (and fuzzed) without a network.

// Most of a root page that is read; a page whose title lies further in has none for us.
constexpr std::size_t MaxPageTitleBody = 1024 * 1024;

// Finds the title in a response body: the text between the first "<TITLE>" and the first
// "</TITLE>" (ASCII case ignored, no attributes allowed), line ends made CR LF, trimmed, and
// decoded as Windows-1252 when it is not valid UTF-8. A closing tag before the opening one gives
// an empty title and true. False when either tag is missing.
bool ExtractPageTitle(std::string_view body, std::string& title);

#pragma once
#include <stdexcept>
#include <string>

// Failures at module edges are exceptions carrying a message meant for the user.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

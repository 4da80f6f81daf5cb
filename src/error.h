#pragma once
// Errors carry a plain message text: the text is what the user sees.
#include <stdexcept>
#include <string>

class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

#pragma once

#include <string>

#include "foundation/Errors.h"

// The text of the exception of type E that `action` raises; "<none>" when it raises nothing.
// Other exception types pass through and fail the test.
template <class E, class Action>
std::string ErrorText(Action&& action) {
    try {
        action();
    } catch (E const& error) {
        return error.what();
    }
    return "<none>";
}

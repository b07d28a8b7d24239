#pragma once

#include <QString>

#include <exception>

namespace lumarient {

// The text shown for a failure handed on as an exception: the description of
// our own errors, the message of any other standard exception, and a plain
// "unknown error" for anything else, which is never thrown on.
QString failureText(const std::exception_ptr &failure);

} // namespace lumarient

// Failures of platform operations travel as values: a number, the system's own description
// and the operation that failed. Nothing throws across the window procedure.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace vqx {

// The words of a failure of the program itself, where the system has none.
inline constexpr char kInternalErrorText[] = "Ha ocurrido un error interno del programa.";

struct Error {
    std::int32_t number = 0; // signed 32-bit; platform errors are HRESULT-style (negative)
    std::string description; // the platform's own words, UTF-8
    std::string source;      // the failing operation
};

template <class T> class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}
    Result(Error error) : v_(std::move(error)) {}

    bool ok() const { return v_.index() == 0; }
    explicit operator bool() const { return ok(); }
    const T& value() const& { return std::get<0>(v_); }
    T&& value() && { return std::get<0>(std::move(v_)); }
    const Error& error() const { return std::get<1>(v_); }
    T value_or(T fallback) const { return ok() ? value() : std::move(fallback); }

private:
    std::variant<T, Error> v_;
};

// A result without a value: success, or an error.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)), failed_(true) {}

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return error_; }

private:
    Error error_;
    bool failed_ = false;
};

} // namespace vqx

#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace orthomix {

// A failure that ends the run: the message the entry point prints on standard
// error, word for word, before it returns status 1.
struct Error {
    std::string message;
};

// A value or the error that prevented it.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }

    const Error& error() const { return std::get<1>(state_); }

private:
    std::variant<T, Error> state_;
};

// Success, or the error of an operation that returns nothing.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

inline Status okStatus() { return {}; }

}  // namespace orthomix

// Returns the error of a Status or Result expression from the enclosing function.
#define ORTHOMIX_TRY(expression)                       \
    do {                                               \
        auto&& orthomixTried_ = (expression);          \
        if (!orthomixTried_.ok()) return orthomixTried_.error(); \
    } while (false)

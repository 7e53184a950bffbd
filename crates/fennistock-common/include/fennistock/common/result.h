// Result<T, E>: a value or an error, the return type of every operation that can fail.
//
// Errors are plain values; nothing in the libraries throws on bad input. Callers test ok() and
// either take the value or pass the error on, usually through FS_TRY, which adds a context on
// the way out.
#pragma once

#include <cassert>
#include <optional>
#include <type_traits>
#include <utility>
#include <variant>

namespace fennistock {

template <typename T, typename E>
class [[nodiscard]] Result {
 public:
  using value_type = T;
  using error_type = E;

  Result(T value) : v_(std::in_place_index<0>, std::move(value)) {}  // NOLINT: implicit on purpose
  Result(E error) : v_(std::in_place_index<1>, std::move(error)) {}  // NOLINT: implicit on purpose
  // Any value convertible to T (a string literal for a Result<std::string>, say).
  template <typename U>
    requires(std::is_constructible_v<T, U &&> && !std::is_same_v<std::decay_t<U>, T> &&
             !std::is_same_v<std::decay_t<U>, E> && !std::is_convertible_v<U &&, E>)
  Result(U&& value) : v_(std::in_place_index<0>, T(std::forward<U>(value))) {}  // NOLINT

  bool ok() const { return v_.index() == 0; }
  explicit operator bool() const { return ok(); }

  // REQUIRES: ok().
  T& value() & { assert(ok()); return std::get<0>(v_); }
  const T& value() const& { assert(ok()); return std::get<0>(v_); }
  T&& value() && { assert(ok()); return std::get<0>(std::move(v_)); }
  T& operator*() & { return value(); }
  const T& operator*() const& { return value(); }
  T&& operator*() && { return std::move(*this).value(); }
  T* operator->() { return &value(); }
  const T* operator->() const { return &value(); }

  // REQUIRES: !ok().
  E& error() & { assert(!ok()); return std::get<1>(v_); }
  const E& error() const& { assert(!ok()); return std::get<1>(v_); }
  E&& error() && { assert(!ok()); return std::get<1>(std::move(v_)); }

 private:
  std::variant<T, E> v_;
};

// A success without a value, or an error.
template <typename E>
class [[nodiscard]] Result<void, E> {
 public:
  Result() = default;
  Result(E error) : error_(std::move(error)) {}  // NOLINT: implicit on purpose

  bool ok() const { return !error_.has_value(); }
  explicit operator bool() const { return ok(); }
  void value() const { assert(ok()); }

  E& error() & { assert(!ok()); return *error_; }
  const E& error() const& { assert(!ok()); return *error_; }
  E&& error() && { assert(!ok()); return std::move(*error_); }

 private:
  std::optional<E> error_;
};

}  // namespace fennistock

#define FS_CONCAT_INNER_(a, b) a##b
#define FS_CONCAT_(a, b) FS_CONCAT_INNER_(a, b)

// FS_TRY(lhs, expr): evaluates expr (a Result); on error returns the error unchanged, otherwise
// assigns the value to lhs (which may be a declaration such as `const uint32_t id`).
#define FS_TRY(lhs, expr) FS_TRY_IMPL_(FS_CONCAT_(fs_try_, __COUNTER__), lhs, expr)
#define FS_TRY_IMPL_(tmp, lhs, expr)       \
  auto tmp = (expr);                       \
  if (!tmp.ok()) return std::move(tmp).error(); \
  lhs = std::move(tmp).value()

// FS_TRY_CTX(lhs, expr, ctx): as FS_TRY, but adds the context ctx to the error on the way out.
// ctx is evaluated only on failure.
#define FS_TRY_CTX(lhs, expr, ctx) FS_TRY_CTX_IMPL_(FS_CONCAT_(fs_try_, __COUNTER__), lhs, expr, ctx)
#define FS_TRY_CTX_IMPL_(tmp, lhs, expr, ctx)                      \
  auto tmp = (expr);                                               \
  if (!tmp.ok()) return std::move(tmp).error().context(ctx);       \
  lhs = std::move(tmp).value()

// FS_RETURN_IF_ERROR(expr): for a Result<void, E> (or any Result whose value is not needed).
#define FS_RETURN_IF_ERROR(expr) FS_RETURN_IF_ERROR_IMPL_(FS_CONCAT_(fs_try_, __COUNTER__), expr)
#define FS_RETURN_IF_ERROR_IMPL_(tmp, expr) \
  do {                                      \
    auto tmp = (expr);                      \
    if (!tmp.ok()) return std::move(tmp).error(); \
  } while (false)

#define FS_RETURN_IF_ERROR_CTX(expr, ctx) FS_RETURN_IF_ERROR_CTX_IMPL_(FS_CONCAT_(fs_try_, __COUNTER__), expr, ctx)
#define FS_RETURN_IF_ERROR_CTX_IMPL_(tmp, expr, ctx)               \
  do {                                                             \
    auto tmp = (expr);                                             \
    if (!tmp.ok()) return std::move(tmp).error().context(ctx);     \
  } while (false)

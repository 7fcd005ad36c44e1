#pragma once
// The program's own exception: a failure the user has to act on, with a code (RealTraffic's
// HTTP-like status, for one). Catchers that don't know it see a plain std::runtime_error.
#include <cstdint>
#include <stdexcept>
#include <string_view>

namespace jrv {

class UserRelatedException : public std::runtime_error {
 public:
  // what() is "{code}: {message}".
  UserRelatedException(std::int32_t code, std::string_view message);

  std::int32_t code;
};

}  // namespace jrv

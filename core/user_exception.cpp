#include "core/user_exception.h"

#include <fmt/format.h>

namespace jrv {

UserRelatedException::UserRelatedException(std::int32_t errorCode, std::string_view message)
    : std::runtime_error(fmt::format("{}: {}", errorCode, message)), code(errorCode) {}

}  // namespace jrv

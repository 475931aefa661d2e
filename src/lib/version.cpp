#include "vorl_exchange/version.hpp"

namespace vorl_exchange {

std::string_view version() noexcept { return VORL_EXCHANGE_VERSION; }

}  // namespace vorl_exchange

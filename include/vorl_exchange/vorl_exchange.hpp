/// @file
/// Everything the library offers.
#pragma once

#include "vorl_exchange/delay_padding.hpp"
#include "vorl_exchange/diagnostics.hpp"
#include "vorl_exchange/digest.hpp"
#include "vorl_exchange/errors.hpp"
#include "vorl_exchange/instruction_words.hpp"
#include "vorl_exchange/plan.hpp"
#include "vorl_exchange/plan_check.hpp"
#include "vorl_exchange/planners.hpp"
#include "vorl_exchange/receive_encoding.hpp"
#include "vorl_exchange/receive_events.hpp"
#include "vorl_exchange/receiver_fault.hpp"
#include "vorl_exchange/route_timing.hpp"
#include "vorl_exchange/row_list.hpp"
#include "vorl_exchange/row_words.hpp"
#include "vorl_exchange/sender_row.hpp"
#include "vorl_exchange/topology.hpp"
#include "vorl_exchange/topology_error.hpp"
#include "vorl_exchange/version.hpp"

/// Everything of the library: topologies and their planners, the error type,
/// route timing, the instruction words and their encoders, the digest and the
/// diagnostic events. `vorl_exchange::detail` is internal.
namespace vorl_exchange {}
